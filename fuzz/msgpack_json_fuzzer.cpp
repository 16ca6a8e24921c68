// Reads a JSON document from arbitrary MessagePack bytes into a JsonValue
// and straight to JSON text as msgpack_to_json does: both agree, and what
// reads survives a MessagePack round trip.
#include <cstddef>
#include <cstdint>

#include "binary_oracles.h"
#include "format/msgpack/msgpack_json.h"
#include "format/msgpack/transcode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ww::fuzz::check_binary_to_json(
      ww::fuzz::as_bytes(data, size), ww::msgpack::read_json_value, ww::msgpack::to_json_text,
      [](const ww::JsonValue& v, std::string& out) { ww::msgpack::write_json_value(v, out); });
}
