#include "bridge/codec_functions.h"

#include <utility>

#include "codec/codec_names.h"
#include "format/msgpack/transcode.h"
#include "value/value_json.h"

namespace ww::bridge {

ww::Result<Bytes> encode_as(std::string_view value, std::string_view codec) {
  ww::Result<ww::Value> parsed = ww::value_from_json_text(value);
  if (!parsed.ok()) return parsed.take_error();
  ww::Result<ww::CodecKind> kind = ww::codec_by_media_type(codec);
  if (!kind.ok()) return kind.take_error();
  return Bytes{ww::codec_of(*kind).encode_value(*parsed)};
}

ww::Result<std::string> decode_as(ByteView data, std::string_view codec) {
  ww::Result<ww::CodecKind> kind = ww::codec_by_media_type(codec);
  if (!kind.ok()) return kind.take_error();
  ww::Result<ww::Value> decoded = ww::codec_of(*kind).decode_value(data.data);
  if (!decoded.ok()) return ww::Error::custom("codec error: " + decoded.error().text());
  return ww::value_to_json(*decoded);
}

// Both conversions go straight from one format to the other; they give what
// reading into a JsonValue and writing it out would.
ww::Result<Bytes> json_to_msgpack(std::string_view json) {
  ww::Result<std::string> bytes = ww::msgpack::from_json_text(json);
  if (!bytes.ok()) return bytes.take_error();
  return Bytes{bytes.take()};
}

ww::Result<std::string> msgpack_to_json(ByteView data) { return ww::msgpack::to_json_text(data.data); }

}  // namespace ww::bridge
