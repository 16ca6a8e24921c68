// The CBOR form of a Value: "Null" as a bare text string, every other kind
// a one-entry map from the kind's name to its payload ({"Bool":true} is
// A1 64 42 6F 6F 6C F5).
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"
#include "value/value.h"

namespace ww {

// Appends the CBOR form of `v`.
void write_value_cbor(const Value& v, std::string& out);

// Reads one Value from the start of `bytes`; what follows it is ignored.
// Errors in the CBOR reader's structural form: Io(...), Syntax(<offset>),
// Semantic(None, "<message>"), Semantic(Some(<offset>), "<message>"),
// RecursionLimitExceeded.
Result<Value> value_from_cbor(std::string_view bytes);

}  // namespace ww
