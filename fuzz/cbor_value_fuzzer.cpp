// Reads a Value from arbitrary CBOR bytes. Whatever reads must write back
// to bytes that read again to the same bytes; every error text must be
// valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "format/debug_text.h"
#include "value/value_cbor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto read = ww::value_from_cbor({reinterpret_cast<const char*>(data), size});
  if (!read.ok()) {
    if (!ww::is_valid_utf8(read.error().text())) std::abort();
    return 0;
  }
  std::string once;
  ww::write_value_cbor(*read, once);
  auto again = ww::value_from_cbor(once);
  if (!again.ok()) {
    std::fprintf(stderr, "written value does not read back: %s\n", again.error().text().c_str());
    std::abort();
  }
  std::string twice;
  ww::write_value_cbor(*again, twice);
  if (once != twice) std::abort();
  return 0;
}
