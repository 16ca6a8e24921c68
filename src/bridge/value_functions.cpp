#include "bridge/value_functions.h"

#include <utility>

#include "value/value.h"
#include "value/value_json.h"

namespace ww::bridge {

ww::Result<Bytes> encode_value_text(std::string_view value) {
  ww::Result<ww::Value> parsed = ww::value_from_json_text(value);
  if (!parsed.ok()) return parsed.take_error();
  // Compact text in, compact text out: the output is about as long.
  Bytes out;
  out.data.reserve(value.size());
  ww::write_value_json(*parsed, out.data);
  return out;
}

ww::Result<std::string> decode_value_bytes(ByteView data) {
  ww::Result<ww::Value> parsed = ww::value_from_json_bytes(data.data);
  if (!parsed.ok()) return ww::Error::custom("codec error: " + parsed.error().text());
  std::string out;
  out.reserve(data.data.size());
  ww::write_value_json(*parsed, out);
  return out;
}

}  // namespace ww::bridge
