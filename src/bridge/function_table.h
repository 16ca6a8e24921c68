// Module functions: each is described by a FunctionSpec and becomes an
// entry of a FunctionTable, either pending (no body yet: not registered) or
// implemented by a body (see invoke.h for what a body looks like).
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "bridge/arguments.h"
#include "bridge/invoke.h"
#include "bridge/python.h"
#include "bridge/signature.h"

namespace ww::bridge {

struct FunctionSpec {
  Signature sig;
  const char* text;  // the docstring after the text signature
};

constexpr FunctionSpec make_function(const char* name, std::initializer_list<const char*> params,
                                     const char* text) {
  return {make_signature(nullptr, name, params), text};
}

struct FunctionEntry {
  const FunctionSpec* spec;
  FastCall call;  // nullptr while the function has no body
};

template <const FunctionSpec& Spec, auto Body>
PyObject* function_call(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  ArgSlots slots;
  if (!match_fastcall(Spec.sig, args, nargs, kwnames, slots)) return nullptr;
  return call_function<Body>(Spec.sig, slots);
}

template <const FunctionSpec& Spec>
constexpr FunctionEntry pending() {
  return {&Spec, nullptr};
}

template <const FunctionSpec& Spec, auto Body>
constexpr FunctionEntry implemented() {
  static_assert(BodyTraits<decltype(Body)>::arity == Spec.sig.count,
                "the body takes another number of parameters than the function lists");
  return {&Spec, &function_call<Spec, Body>};
}

// The functions of one module in registration order, with the method
// definitions the interpreter keeps pointers to for the life of the process.
class FunctionTable {
 public:
  FunctionTable(std::initializer_list<FunctionEntry> entries);
  FunctionTable(const FunctionTable&) = delete;
  FunctionTable& operator=(const FunctionTable&) = delete;

  // Adds every implemented function to `module`, in order, each appended to
  // `__all__`. Returns false with the exception set on the first failure.
  bool add_to(PyObject* module) const;

  std::span<const FunctionEntry> entries() const { return entries_; }

 private:
  std::vector<FunctionEntry> entries_;
  std::vector<std::string> docs_;
  std::vector<PyMethodDef> defs_;  // one per implemented entry
};

// The sixteen functions of `wirewright`.
const FunctionTable& module_functions();

}  // namespace ww::bridge
