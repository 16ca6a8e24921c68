// Reads a JSON document from arbitrary CBOR bytes into a JsonValue and
// straight to JSON text as cbor_to_json does: both agree, and what reads
// survives a CBOR round trip.
#include <cstddef>
#include <cstdint>

#include "binary_oracles.h"
#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ww::fuzz::check_binary_to_json(
      ww::fuzz::as_bytes(data, size), ww::cbor::read_json_value, ww::cbor::to_json_text,
      [](const ww::JsonValue& v, std::string& out) { ww::cbor::write_json_value(v, out); });
}
