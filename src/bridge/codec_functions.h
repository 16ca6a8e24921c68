// encode_as / decode_as: a model value with a codec chosen by media-type
// name; json_to_msgpack / msgpack_to_json: arbitrary JSON documents to and
// from MessagePack.
#pragma once

#include <string>
#include <string_view>

#include "bridge/values.h"
#include "format/result.h"

namespace ww::bridge {

// The JSON value is read before the codec name is looked at, so an
// unreadable value is reported even when the name is unknown too.
ww::Result<Bytes> encode_as(std::string_view value, std::string_view codec);

// The codec name is resolved before the bytes are looked at; a decoding
// failure reads "codec error: <the codec's text>".
ww::Result<std::string> decode_as(ByteView data, std::string_view codec);

ww::Result<Bytes> json_to_msgpack(std::string_view json);
ww::Result<std::string> msgpack_to_json(ByteView data);

}  // namespace ww::bridge
