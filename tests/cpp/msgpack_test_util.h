// Writing MessagePack inputs readably: hex bytes separated by spaces, and
// "text" for a fixstr holding the text (header included), so that
// `81 "Int" 01` is the bytes 81 A3 49 6E 74 01.
#pragma once

#include <string>
#include <string_view>

#include "hex_bytes.h"

namespace ww::testing_msgpack {

// A fixstr's head is A0 plus its length.
inline std::string mp(std::string_view spec) { return test_bytes::hex_bytes(spec, 0xa0); }
using test_bytes::hex;

}  // namespace ww::testing_msgpack
