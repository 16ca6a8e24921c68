// Reads a patch from arbitrary bytes, as MsgpackCodec::decode_patch does.
// Whatever reads must write back to bytes that read again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diff/patch_msgpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto read = ww::patch_from_msgpack({reinterpret_cast<const char*>(data), size});
  if (!read.ok()) return 0;
  std::string once;
  ww::write_patch_msgpack(*read, once);
  auto again = ww::patch_from_msgpack(once);
  if (!again.ok()) {
    std::fprintf(stderr, "written patch does not read back: %s\n", again.error().text().c_str());
    std::abort();
  }
  std::string twice;
  ww::write_patch_msgpack(*again, twice);
  if (once != twice) std::abort();
  return 0;
}
