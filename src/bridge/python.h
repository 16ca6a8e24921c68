// The one way into the interpreter's C interface. Only the version-stable
// subset of 3.11 is used, so a single build loads into every later
// interpreter; every bridge file reaches Python.h through this header.
#pragma once

#define PY_SSIZE_T_CLEAN
#define Py_LIMITED_API 0x030B0000
#include <Python.h>
