// Converting a body's result to a new interpreter object. The C++ type
// decides the kind:
//   std::string                 str
//   Bytes                       bytes
//   std::uint64_t               int
//   bool                        True / False
//   std::vector<std::string>    list of str
//   std::optional<T>            T's object, or None
// Failing to build the object (out of memory, or text that is not UTF-8,
// a broken invariant of the core) is fatal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bridge/python.h"
#include "bridge/values.h"

namespace ww::bridge {

PyObject* to_python(const std::string& text);
PyObject* to_python(const char*) = delete;  // would silently pick the bool overload
PyObject* to_python(const Bytes& bytes);
PyObject* to_python(std::uint64_t number);
PyObject* to_python(bool truth);
PyObject* to_python(const std::vector<std::string>& texts);

template <class T>
PyObject* to_python(const std::optional<T>& maybe) {
  if (!maybe) Py_RETURN_NONE;
  return to_python(*maybe);
}

}  // namespace ww::bridge
