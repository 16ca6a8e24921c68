// normalize_message, encode_message, decode_message.
#pragma once

#include <string>
#include <string_view>

#include "bridge/values.h"
#include "format/result.h"

namespace ww::bridge {

ww::Result<std::string> normalize_message(std::string_view json);
ww::Result<Bytes> encode_message(std::string_view json, std::string_view codec);
ww::Result<std::string> decode_message(ByteView data, std::string_view codec);

}  // namespace ww::bridge
