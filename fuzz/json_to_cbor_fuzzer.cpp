// Converts arbitrary text to CBOR both ways that the system has:
// through a parsed JsonValue, and in one pass as json_to_cbor does. Both
// must give the same bytes or the same error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"
#include "format/json/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = ww::parse_json_text(text);
  auto direct = ww::cbor::from_json_text(text);
  if (parsed.ok() != direct.ok()) std::abort();
  if (!parsed.ok()) {
    if (parsed.error().text() != direct.error().text()) {
      std::fprintf(stderr, "%s\n%s\n", parsed.error().text().c_str(), direct.error().text().c_str());
      std::abort();
    }
    return 0;
  }
  std::string bytes;
  ww::cbor::write_json_value(*parsed, bytes);
  if (bytes != *direct) std::abort();
  return 0;
}
