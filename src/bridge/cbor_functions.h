// json_to_cbor / cbor_to_json: arbitrary JSON documents to and from CBOR.
#pragma once

#include <string>
#include <string_view>

#include "bridge/values.h"
#include "format/result.h"

namespace ww::bridge {

// Fails only on the JSON text, with the JSON reader's message and position.
ww::Result<Bytes> json_to_cbor(std::string_view json);

// The compact JSON text of the first CBOR item in `data`; errors in the CBOR
// reader's structural form.
ww::Result<std::string> cbor_to_json(ByteView data);

}  // namespace ww::bridge
