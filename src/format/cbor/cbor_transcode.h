// The generic CBOR conversions in one pass, without building a JsonValue:
// the same bytes and the same errors as reading into a JsonValue and
// writing it out (write_json_value after parse_json_text; to_json_text
// after read_json_value), with objects put in key order as they close.
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"

namespace ww::cbor {

// A whole JSON text (only whitespace after the document) to CBOR.
Result<std::string> from_json_text(std::string_view text);

// One CBOR item from the start of `bytes` to compact JSON text; errors in
// the reader's structural form.
Result<std::string> to_json_text(std::string_view bytes);

}  // namespace ww::cbor
