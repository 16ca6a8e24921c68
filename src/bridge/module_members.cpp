#include "bridge/module_members.h"

#include "bridge/errors.h"
#include "bridge/ref.h"

namespace ww::bridge {
namespace {

// The list that the module's `__all__` holds.
Ref all_list(PyObject* module) {
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return Ref();
    PyErr_Clear();
    all = Ref::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return Ref();
    return all;
  }
  if (!PyList_Check(all.get())) {
    raise_not_instance(all.get(), "list");
    return Ref();
  }
  return all;
}

}  // namespace

bool add_member(PyObject* module, PyObject* name, PyObject* value) {
  Ref all = all_list(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name) != 0) return false;
  return PyObject_SetAttr(module, name, value) == 0;
}

}  // namespace ww::bridge
