// The MessagePack reader's own failures. They read as plain texts; the
// record-shape errors of the visitors pass through unchanged beside them.
#pragma once

#include <cstdint>
#include <string>

#include "format/debug_text.h"
#include "format/result.h"

namespace ww::msgpack {

// The input ended where the next item's first byte should stand.
Error marker_eof();
// The input ended inside a length, a number or an extension's type byte.
Error data_eof();
// A text, binary or extension payload declared longer than what is left.
Error payload_eof();
// "wrong msgpack marker <name>", the marker named as the reader names it.
Error wrong_marker(std::uint8_t marker);
// "array had incorrect length, expected <n>".
Error length_mismatch(std::uint32_t n);
Error depth_exceeded();
Error invalid_utf8(const Utf8Fault& fault);

// "FixPos(5)", "Str8", "Reserved", ...
std::string marker_name(std::uint8_t marker);

}  // namespace ww::msgpack
