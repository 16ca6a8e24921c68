// The MessagePack form of a Value: "Null" as a bare str, every other kind
// a one-entry map from the kind's name to its payload ({"Int":1} is
// 81 A3 49 6E 74 01).
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"
#include "value/value.h"

namespace ww {

// Appends the MessagePack form of `v`.
void write_value_msgpack(const Value& v, std::string& out);

// Reads one Value from the start of `bytes`; what follows it is ignored.
// Errors are the MessagePack reader's plain texts.
Result<Value> value_from_msgpack(std::string_view bytes);

}  // namespace ww
