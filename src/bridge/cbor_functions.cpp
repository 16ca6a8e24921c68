#include "bridge/cbor_functions.h"

#include "format/cbor/cbor_json.h"
#include "format/json/json_value.h"

namespace ww::bridge {

ww::Result<Bytes> json_to_cbor(std::string_view json) {
  ww::Result<ww::JsonValue> parsed = ww::parse_json_text(json);
  if (!parsed.ok()) return parsed.take_error();
  Bytes out;
  ww::cbor::write_json_value(*parsed, out.data);
  return out;
}

ww::Result<std::string> cbor_to_json(ByteView data) {
  ww::Result<ww::JsonValue> read = ww::cbor::read_json_value(data.data);
  if (!read.ok()) return read.take_error();
  return ww::to_json_text(*read);
}

}  // namespace ww::bridge
