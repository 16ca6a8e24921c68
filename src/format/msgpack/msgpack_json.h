// Arbitrary JSON documents in MessagePack: the form of json_to_msgpack and
// msgpack_to_json, and of whole live-protocol messages sent as MessagePack.
#pragma once

#include <string>
#include <string_view>

#include "format/json/json_value.h"
#include "format/result.h"

namespace ww::msgpack {

// null as nil, integers in the shortest form, doubles as float 64, texts
// as str, arrays and objects (in their stored order) with the shortest
// headers.
void write_json_value(const JsonValue& v, std::string& out);

// One item from the start of `bytes` (what follows it is ignored). bin and
// ext items have no JSON form; map keys must be texts; NaN and the
// infinities become null; objects come out sorted, the last repeat kept.
Result<JsonValue> read_json_value(std::string_view bytes);

}  // namespace ww::msgpack
