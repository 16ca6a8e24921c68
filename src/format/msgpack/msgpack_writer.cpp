#include "format/msgpack/msgpack_writer.h"

#include <cstdio>

namespace ww::msgpack::detail {

void count_too_large() {
  std::fputs("wirewright: fatal error: a MessagePack count or length exceeds 2^32-1\n", stderr);
  std::abort();
}

}  // namespace ww::msgpack::detail
