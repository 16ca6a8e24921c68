// The classes a module registers, in order; a class whose methods have no
// bodies yet is pending and stays out of the module.
#pragma once

#include <initializer_list>
#include <vector>

#include "bridge/class_type.h"
#include "bridge/python.h"

namespace ww::bridge {

struct ClassEntry {
  const char* name;
  PyObject* (*type)();  // borrowed type object; nullptr while pending
};

constexpr ClassEntry pending_class(const char* name) { return {name, nullptr}; }

template <class Def>
constexpr ClassEntry registered() {
  return {Def::spec.ctor.owner, &PyClass<Def>::type};
}

class ClassTable {
 public:
  ClassTable(std::initializer_list<ClassEntry> entries) : entries_(entries) {}

  // Creates each registered type and adds it under its name, appended to
  // `__all__`. Returns false with the exception set on the first failure.
  bool add_to(PyObject* module) const;

 private:
  std::vector<ClassEntry> entries_;
};

// ClientState, CrdtDocument and Store.
const ClassTable& module_classes();

}  // namespace ww::bridge
