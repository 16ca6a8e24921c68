// Converts arbitrary text to CBOR through a parsed JsonValue and in one
// pass as json_to_cbor does: the same bytes or the same error.
#include <cstddef>
#include <cstdint>

#include "binary_oracles.h"
#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ww::fuzz::check_json_text_to_binary(
      ww::fuzz::as_bytes(data, size), ww::cbor::from_json_text,
      [](const ww::JsonValue& v, std::string& out) { ww::cbor::write_json_value(v, out); });
}
