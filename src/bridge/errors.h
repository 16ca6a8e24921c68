// Raising exceptions, and reworking the one currently set: notes, causes,
// and the mapping of core errors to ValueError.
#pragma once

#include "bridge/python.h"
#include "format/result.h"

namespace ww::bridge {

// A broken invariant of the bridge (or a result object that could not be
// made): writes the diagnostic to standard error and aborts.
[[noreturn]] void fatal(const char* what);

// Each returns nullptr so that a call can `return raise_...(...)`.

// TypeError "'<qualname>' object is not an instance of '<expected>'", or
// "'None' is not an instance of '<expected>'" for None.
PyObject* raise_not_instance(PyObject* obj, const char* expected);
// A body's failure: ValueError with the error's text, unchanged.
PyObject* raise_error(const ww::Error& error);

// Appends `note` to the notes of the exception currently set.
void add_note(PyObject* note);
// Adds "while processing '<parameter>'" to the exception currently set.
void add_processing_note(const char* parameter);

// Replaces the exception currently set by `type(message)`, whose __cause__
// is the exception it replaces.
void raise_from_current(PyObject* type, const char* message);

}  // namespace ww::bridge
