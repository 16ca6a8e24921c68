#include "bridge/class_table.h"

#include "bridge/module_members.h"
#include "bridge/ref.h"

namespace ww::bridge {

bool ClassTable::add_to(PyObject* module) const {
  for (const ClassEntry& entry : entries_) {
    if (entry.type == nullptr) continue;
    PyObject* type = entry.type();
    if (type == nullptr) return false;
    Ref name = Ref::steal(PyUnicode_FromString(entry.name));
    if (!name || !add_member(module, name.get(), type)) return false;
  }
  return true;
}

}  // namespace ww::bridge
