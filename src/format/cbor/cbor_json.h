// Arbitrary JSON documents in CBOR: the form of json_to_cbor and
// cbor_to_json, and of whole live-protocol messages sent as CBOR.
#pragma once

#include <string>
#include <string_view>

#include "format/json/json_value.h"
#include "format/result.h"

namespace ww::cbor {

// null as f6, integers with the shortest head (negatives as major type 1),
// doubles in the narrowest exact width, texts, arrays and maps (objects in
// their stored order) of definite length.
void write_json_value(const JsonValue& v, std::string& out);

// One item from the start of `bytes` (what follows it is ignored). Byte
// strings, tags other than bignums of at most 16 bytes, and simple values
// other than false, true, null and undefined have no JSON form; map keys
// must be text; integers must lie in -2^63 .. 2^64-1; NaN and the
// infinities become null; objects come out sorted, the last repeat kept.
// Errors in the reader's structural form (Io(...), Syntax(n), Semantic(...),
// RecursionLimitExceeded).
Result<JsonValue> read_json_value(std::string_view bytes);

}  // namespace ww::cbor
