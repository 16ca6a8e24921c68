#include "bridge/class_type.h"

#include "bridge/errors.h"

namespace ww::bridge {

MethodTable::MethodTable(std::span<const MethodEntry> entries) {
  // Sized up front: the definitions point into docs_.
  docs_.reserve(entries.size());
  defs_.reserve(entries.size() + 1);
  for (const MethodEntry& entry : entries) {
    const MethodSpec& spec = *entry.spec;
    const bool with_self = spec.flavour != Flavour::Static;
    docs_.push_back(make_docstring(spec.sig.name, spec.sig.parameter_list(with_self), spec.text));
    // The flags tell the interpreter which signature the trampoline really
    // has; the cast goes through void(*)(), which converts to any other
    // function pointer type without a warning.
    PyCFunction call = entry.plain;
    int flags = METH_NOARGS;
    if (spec.flavour != Flavour::None) {
      call = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry.fast));
      flags = METH_FASTCALL | METH_KEYWORDS;
      if (spec.flavour == Flavour::Static) flags |= METH_STATIC;
    }
    defs_.push_back({spec.sig.name, call, flags, docs_.back().c_str()});
  }
  defs_.push_back({nullptr, nullptr, 0, nullptr});
}

PyObject* create_heap_type(const ClassSpec& spec, const TypeShape& shape) {
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(shape.doc)},  // copied by the interpreter
      {Py_tp_new, reinterpret_cast<void*>(shape.new_slot)},
      {Py_tp_dealloc, reinterpret_cast<void*>(shape.dealloc_slot)},
      {Py_tp_methods, shape.methods},
      {0, nullptr},
  };
  // No Py_TPFLAGS_BASETYPE: the classes cannot be subclassed; no GC flag:
  // instances hold no interpreter objects.
  PyType_Spec type_spec{shape.full_name, shape.basic_size, 0, Py_TPFLAGS_DEFAULT, slots};
  PyObject* type = PyType_FromSpec(&type_spec);
  if (type == nullptr) {
    const std::string message = std::string("An error occurred while initializing class ") + spec.ctor.owner;
    raise_from_current(PyExc_RuntimeError, message.c_str());
  }
  return type;
}

}  // namespace ww::bridge
