#include "bridge/cbor_functions.h"

#include <utility>

#include "format/cbor/cbor_transcode.h"

namespace ww::bridge {

ww::Result<Bytes> json_to_cbor(std::string_view json) {
  ww::Result<std::string> bytes = ww::cbor::from_json_text(json);
  if (!bytes.ok()) return bytes.take_error();
  return Bytes{bytes.take()};
}

ww::Result<std::string> cbor_to_json(ByteView data) { return ww::cbor::to_json_text(data.data); }

}  // namespace ww::bridge
