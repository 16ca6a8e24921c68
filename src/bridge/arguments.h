// Matching the arguments of a call to the parameters of its Signature, for
// the vectorcall convention of functions and methods and for the tuple and
// dict of constructors. Failures raise TypeError.
#pragma once

#include <array>

#include "bridge/python.h"
#include "bridge/signature.h"

namespace ww::bridge {

// The vectorcall convention of functions and methods that take keywords.
using FastCall = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Borrowed references, one per parameter; nullptr where none was given.
using ArgSlots = std::array<PyObject*, kMaxParams>;

// `args` holds `nargs` positional values followed by one value for each
// name in `kwnames` (a tuple, or nullptr when no keywords were given).
bool match_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, ArgSlots& slots);

// `args` is a tuple; `kwargs` a dict or nullptr.
bool match_classic(const Signature& sig, PyObject* args, PyObject* kwargs, ArgSlots& slots);

}  // namespace ww::bridge
