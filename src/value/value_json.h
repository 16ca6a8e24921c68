// The tagged JSON form of a Value: {"Int":-3}, "Null", {"Map":{...}}.
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"
#include "value/value.h"

namespace ww {

class JsonValue;

// Appends the compact JSON text of `v`.
void write_value_json(const Value& v, std::string& out);
std::string value_to_json(const Value& v);

// Whole-text readers: the value, then only JSON whitespace. Errors carry
// the JSON reader's message and, where it gives one, the position
// (Error::text() renders "<message> at line L column C").
Result<Value> value_from_json_text(std::string_view text);
// The same over bytes: text inside strings must be valid UTF-8.
Result<Value> value_from_json_bytes(std::string_view bytes);

// The same form as a generic JSON value (for snapshots).
JsonValue value_to_json_value(const Value& v);
// Reads a Value out of already parsed JSON; errors carry no position.
Result<Value> value_from_json_value(const JsonValue& json);

}  // namespace ww
