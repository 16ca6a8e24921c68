// Reads a Value from arbitrary CBOR bytes; what reads writes back and
// reads again to the same bytes.
#include <cstddef>
#include <cstdint>

#include "binary_oracles.h"
#include "value/value_cbor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ww::fuzz::check_round_trip(ww::fuzz::as_bytes(data, size), ww::value_from_cbor,
                                    [](const ww::Value& v, std::string& out) { ww::write_value_cbor(v, out); });
}
