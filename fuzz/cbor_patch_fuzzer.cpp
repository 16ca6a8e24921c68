// Reads a patch from arbitrary CBOR bytes. Whatever reads must write back
// to bytes that read again to the same bytes; every error text must be
// valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diff/patch_cbor.h"
#include "format/debug_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto read = ww::patch_from_cbor({reinterpret_cast<const char*>(data), size});
  if (!read.ok()) {
    if (!ww::is_valid_utf8(read.error().text())) std::abort();
    return 0;
  }
  std::string once;
  ww::write_patch_cbor(*read, once);
  auto again = ww::patch_from_cbor(once);
  if (!again.ok()) {
    std::fprintf(stderr, "written patch does not read back: %s\n", again.error().text().c_str());
    std::abort();
  }
  std::string twice;
  ww::write_patch_cbor(*again, twice);
  if (once != twice) std::abort();
  return 0;
}
