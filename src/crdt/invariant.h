// A broken internal invariant is never reported to a caller: the process
// writes the diagnostic to standard error and aborts.
#pragma once

namespace ww::crdt {

[[noreturn]] void broken_invariant(const char* what);

}  // namespace ww::crdt
