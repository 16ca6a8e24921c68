// The module's entry point: a definition for multi-phase initialisation
// whose one exec step adds the functions, then the classes.
#include "bridge/class_table.h"
#include "bridge/errors.h"
#include "bridge/function_table.h"
#include "bridge/python.h"

namespace ww::bridge {
namespace {

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    raise_not_instance(module, "module");
    return -1;
  }
  if (!module_functions().add_to(module)) return -1;
  if (!module_classes().add_to(module)) return -1;
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "wirewright",
    "",       // __doc__ is the empty text
    0,        // no per-module state
    nullptr,  // functions come from the exec step
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace ww::bridge

PyMODINIT_FUNC PyInit_wirewright() { return PyModuleDef_Init(&ww::bridge::module_def); }
