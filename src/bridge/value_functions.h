// encode / decode: a model value between its JSON text and the JSON
// codec's bytes.
#pragma once

#include <string>
#include <string_view>

#include "bridge/values.h"
#include "format/result.h"

namespace ww::bridge {

// The compact JSON text of the value in `value` (so whitespace is dropped
// and map keys come out sorted).
ww::Result<Bytes> encode_value_text(std::string_view value);

// The JSON text of the value in `data`; errors read "codec error: ...".
ww::Result<std::string> decode_value_bytes(ByteView data);

}  // namespace ww::bridge
