// Converting one matched argument to the C++ type of its parameter. The
// parameter's C++ type decides its kind:
//   std::string_view                  text (str and subclasses, as UTF-8)
//   std::optional<std::string_view>   optional text (absent or None: nullopt)
//   ByteView                          bytes (bytes and subclasses only)
//   std::uint64_t                     id (any int, or any object with __index__)
// A failure leaves the converter's exception set; the caller adds the note.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "bridge/python.h"
#include "bridge/values.h"

namespace ww::bridge {

// `obj` is never nullptr except for an optional parameter left out.
bool convert_text(PyObject* obj, std::string_view& out);
bool convert_bytes(PyObject* obj, ByteView& out);
bool convert_id(PyObject* obj, std::uint64_t& out);

template <class T>
struct ArgKind;  // no such parameter kind

template <>
struct ArgKind<std::string_view> {
  static bool convert(PyObject* obj, std::string_view& out) { return convert_text(obj, out); }
};

template <>
struct ArgKind<std::optional<std::string_view>> {
  static bool convert(PyObject* obj, std::optional<std::string_view>& out) {
    if (obj == nullptr || obj == Py_None) {
      out.reset();
      return true;
    }
    return convert_text(obj, out.emplace());
  }
};

template <>
struct ArgKind<ByteView> {
  static bool convert(PyObject* obj, ByteView& out) { return convert_bytes(obj, out); }
};

template <>
struct ArgKind<std::uint64_t> {
  static bool convert(PyObject* obj, std::uint64_t& out) { return convert_id(obj, out); }
};

}  // namespace ww::bridge
