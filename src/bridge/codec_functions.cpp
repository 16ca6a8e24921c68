#include "bridge/codec_functions.h"

#include <utility>

#include "codec/codec_names.h"
#include "format/json/json_value.h"
#include "format/msgpack/msgpack_json.h"
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

ww::Result<Bytes> json_to_msgpack(std::string_view json) {
  ww::Result<ww::JsonValue> parsed = ww::parse_json_text(json);
  if (!parsed.ok()) return parsed.take_error();
  Bytes out;
  ww::msgpack::write_json_value(*parsed, out.data);
  return out;
}

ww::Result<std::string> msgpack_to_json(ByteView data) {
  ww::Result<ww::JsonValue> read = ww::msgpack::read_json_value(data.data);
  if (!read.ok()) return read.take_error();
  return ww::to_json_text(*read);
}

}  // namespace ww::bridge
