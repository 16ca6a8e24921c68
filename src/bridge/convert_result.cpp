#include "bridge/convert_result.h"

#include "bridge/errors.h"
#include "bridge/ref.h"

namespace ww::bridge {
namespace {

PyObject* ensure(PyObject* obj) {
  if (obj == nullptr) fatal("could not create a result object");
  return obj;
}

}  // namespace

PyObject* to_python(const std::string& text) {
  return ensure(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

PyObject* to_python(const Bytes& bytes) {
  return ensure(PyBytes_FromStringAndSize(bytes.data.data(), static_cast<Py_ssize_t>(bytes.data.size())));
}

PyObject* to_python(std::uint64_t number) { return ensure(PyLong_FromUnsignedLongLong(number)); }

PyObject* to_python(bool truth) { return PyBool_FromLong(truth ? 1 : 0); }

PyObject* to_python(const std::vector<std::string>& texts) {
  Ref list = Ref::steal(ensure(PyList_New(static_cast<Py_ssize_t>(texts.size()))));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), to_python(texts[i]));  // steals the item
  }
  return list.release();
}

}  // namespace ww::bridge
