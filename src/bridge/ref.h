// An owning reference to an interpreter object: one reference count, dropped
// on destruction, so every exit path of a call releases what it made.
#pragma once

#include <utility>

#include "bridge/python.h"

namespace ww::bridge {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (null stays null, for failed calls).
  static Ref steal(PyObject* obj) { return Ref(obj); }
  // Adds a reference of its own to a borrowed one.
  static Ref borrow(PyObject* obj) {
    Py_XINCREF(obj);
    return Ref(obj);
  }

  Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref old(std::exchange(obj_, std::exchange(other.obj_, nullptr)));
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(obj_); }

  PyObject* get() const { return obj_; }
  explicit operator bool() const { return obj_ != nullptr; }
  // Hands the reference to the caller (a return value, a stealing call).
  PyObject* release() { return std::exchange(obj_, nullptr); }

 private:
  explicit Ref(PyObject* obj) : obj_(obj) {}
  PyObject* obj_ = nullptr;
};

}  // namespace ww::bridge
