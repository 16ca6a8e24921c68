#include "bridge/convert_args.h"

#include "bridge/errors.h"
#include "bridge/ref.h"

namespace ww::bridge {

bool convert_text(PyObject* obj, std::string_view& out) {
  if (!PyUnicode_Check(obj)) {
    raise_not_instance(obj, "str");
    return false;
  }
  // The UTF-8 form is cached inside the str object, so no copy is made; a
  // lone surrogate raises the interpreter's UnicodeEncodeError.
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
  if (utf8 == nullptr) return false;
  out = std::string_view(utf8, static_cast<std::size_t>(size));
  return true;
}

bool convert_bytes(PyObject* obj, ByteView& out) {
  if (!PyBytes_Check(obj)) {
    raise_not_instance(obj, "bytes");
    return false;
  }
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(obj, &data, &size) != 0) return false;
  out.data = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool convert_id(PyObject* obj, std::uint64_t& out) {
  // Non-integers go through their __index__, which may run any code.
  Ref index = PyLong_Check(obj) ? Ref::borrow(obj) : Ref::steal(PyNumber_Index(obj));
  if (!index) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return false;
  out = value;
  return true;
}

}  // namespace ww::bridge
