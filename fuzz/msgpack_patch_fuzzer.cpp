// Reads a patch from arbitrary bytes, as MsgpackCodec::decode_patch does;
// what reads writes back and reads again to the same bytes.
#include <cstddef>
#include <cstdint>

#include "binary_oracles.h"
#include "diff/patch_msgpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ww::fuzz::check_round_trip(ww::fuzz::as_bytes(data, size), ww::patch_from_msgpack,
                                    [](const ww::Patch& p, std::string& out) { ww::write_patch_msgpack(p, out); });
}
