#include "crdt/invariant.h"

#include <cstdio>
#include <cstdlib>

namespace ww::crdt {

void broken_invariant(const char* what) {
  std::fprintf(stderr, "wirewright: internal error: %s\n", what);
  std::abort();
}

}  // namespace ww::crdt
