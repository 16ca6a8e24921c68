#include "bridge/arguments.h"

#include <string>
#include <string_view>

#include "bridge/ref.h"

namespace ww::bridge {
namespace {

void raise_type_error(const std::string& message) { PyErr_SetString(PyExc_TypeError, message.c_str()); }

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
  std::string msg = sig.display_name() + " takes ";
  if (sig.required < sig.count) {
    msg += "from " + std::to_string(sig.required) + " to ";
  }
  msg += std::to_string(sig.count) + " positional arguments but " + std::to_string(given);
  msg += given == 1 ? " was given" : " were given";
  raise_type_error(msg);
  return false;
}

// The keyword's parameter index, or -1 when it names none (also for a name
// that has no UTF-8 form, which no parameter has either).
Py_ssize_t find_keyword(const Signature& sig, PyObject* name) {
  if (!PyUnicode_Check(name)) return -1;
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
  if (utf8 == nullptr) {
    PyErr_Clear();
    return -1;
  }
  const std::string_view key(utf8, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (key == sig.params[i]) return static_cast<Py_ssize_t>(i);
  }
  return -1;
}

bool keyword_error(const Signature& sig, const char* what, PyObject* name) {
  const std::string fn = sig.display_name();
  Ref text = Ref::steal(PyUnicode_FromFormat("%s %s '%S'", fn.c_str(), what, name));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
  return false;
}

bool place_keyword(const Signature& sig, PyObject* name, PyObject* value, ArgSlots& slots) {
  const Py_ssize_t index = find_keyword(sig, name);
  if (index < 0) return keyword_error(sig, "got an unexpected keyword argument", name);
  if (slots[static_cast<std::size_t>(index)] != nullptr) {
    return keyword_error(sig, "got multiple values for argument", name);
  }
  slots[static_cast<std::size_t>(index)] = value;
  return true;
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
bool check_required(const Signature& sig, const ArgSlots& slots) {
  std::size_t missing[kMaxParams];
  std::size_t count = 0;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (slots[i] == nullptr) missing[count++] = i;
  }
  if (count == 0) return true;
  std::string msg = sig.display_name() + " missing " + std::to_string(count) + " required positional argument";
  msg += count == 1 ? ": " : "s: ";
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) msg += count == 2 ? " " : ", ";
    if (k > 0 && k + 1 == count) msg += "and ";
    msg += '\'';
    msg += sig.params[missing[k]];
    msg += '\'';
  }
  raise_type_error(msg);
  return false;
}

}  // namespace

bool match_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, ArgSlots& slots) {
  slots.fill(nullptr);
  if (nargs > static_cast<Py_ssize_t>(sig.count)) return too_many_positional(sig, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      if (!place_keyword(sig, PyTuple_GetItem(kwnames, k), args[nargs + k], slots)) return false;
    }
  }
  return check_required(sig, slots);
}

bool match_classic(const Signature& sig, PyObject* args, PyObject* kwargs, ArgSlots& slots) {
  slots.fill(nullptr);
  const Py_ssize_t nargs = PyTuple_Size(args);
  if (nargs > static_cast<Py_ssize_t>(sig.count)) return too_many_positional(sig, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
  if (kwargs != nullptr) {
    // A dict iterates in insertion order: the order the keywords were given.
    Py_ssize_t pos = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &name, &value)) {
      if (!place_keyword(sig, name, value, slots)) return false;
    }
  }
  return check_required(sig, slots);
}

}  // namespace ww::bridge
