// Adding a public member to a module: appended to `__all__` (created empty
// when missing), then set as the attribute of that name.
#pragma once

#include "bridge/python.h"

namespace ww::bridge {

// `name` is a str. Returns false with the exception set on failure.
bool add_member(PyObject* module, PyObject* name, PyObject* value);

}  // namespace ww::bridge
