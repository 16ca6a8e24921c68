#include "bridge/function_table.h"

#include "bridge/module_members.h"
#include "bridge/ref.h"

namespace ww::bridge {

FunctionTable::FunctionTable(std::initializer_list<FunctionEntry> entries) : entries_(entries) {
  // Both vectors are sized before any pointer into them is taken.
  docs_.reserve(entries_.size());
  defs_.reserve(entries_.size() + 1);
  for (const FunctionEntry& entry : entries_) {
    if (entry.call == nullptr) continue;
    const Signature& sig = entry.spec->sig;
    docs_.push_back(make_docstring(sig.name, sig.parameter_list(false), entry.spec->text));
    // The flags tell the interpreter the real signature; the cast goes
    // through void(*)(), which converts to any function pointer quietly.
    // No METH_STATIC: it would hide the module from `__self__`.
    defs_.push_back({sig.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry.call)),
                     METH_FASTCALL | METH_KEYWORDS, docs_.back().c_str()});
  }
  defs_.push_back({nullptr, nullptr, 0, nullptr});
}

bool FunctionTable::add_to(PyObject* module) const {
  Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  for (const PyMethodDef& def : defs_) {
    if (def.ml_name == nullptr) break;
    // PyMethodDef is only read through this pointer; the API is not const.
    Ref function = Ref::steal(PyCFunction_NewEx(const_cast<PyMethodDef*>(&def), module, module_name.get()));
    if (!function) return false;
    Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name || !add_member(module, name.get(), function.get())) return false;
  }
  return true;
}

}  // namespace ww::bridge
