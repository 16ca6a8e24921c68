#include "bridge/errors.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bridge/ref.h"

namespace ww::bridge {
namespace {

// The exception currently set, taken out of the interpreter's error state
// as a normalised object with its traceback attached. The fetch/restore
// pair is the only way to do this on the 3.11 stable interface; newer
// headers mark it deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
Ref take_current() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) fatal("no exception set where one was expected");
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr) {
    PyException_SetTraceback(value, traceback);
    Py_DECREF(traceback);
  }
  Py_DECREF(type);
  return Ref::steal(value);
}

void restore(Ref exc) {
  PyObject* value = exc.release();
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  Py_INCREF(type);
  PyErr_Restore(type, value, PyException_GetTraceback(value));
}
#pragma GCC diagnostic pop

}  // namespace

void fatal(const char* what) {
  std::fprintf(stderr, "wirewright: fatal error: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

PyObject* raise_not_instance(PyObject* obj, const char* expected) {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return nullptr;
  }
  Ref qualname = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
  if (!qualname) return nullptr;
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", qualname.get(), expected);
  return nullptr;
}

PyObject* raise_error(const ww::Error& error) {
  const std::string text = error.text();
  Ref message = Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!message) fatal("an error text is not valid UTF-8");
  PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

void add_note(PyObject* note) {
  Ref exc = take_current();
  Ref done = Ref::steal(PyObject_CallMethod(exc.get(), "add_note", "O", note));
  if (!done) return;  // the failure of add_note is now the exception set
  restore(std::move(exc));
}

void add_processing_note(const char* parameter) {
  Ref exc = take_current();
  Ref note = Ref::steal(PyUnicode_FromFormat("while processing '%s'", parameter));
  if (!note) return;
  restore(std::move(exc));
  add_note(note.get());
}

void raise_from_current(PyObject* type, const char* message) {
  Ref cause = take_current();
  PyErr_SetString(type, message);
  Ref exc = take_current();
  PyException_SetCause(exc.get(), cause.release());  // steals the cause
  restore(std::move(exc));
}

}  // namespace ww::bridge
