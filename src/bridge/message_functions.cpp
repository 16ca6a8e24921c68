#include "bridge/message_functions.h"

#include "codec/codec_names.h"
#include "message/message.h"

namespace ww::bridge {

ww::Result<std::string> normalize_message(std::string_view json) {
  WW_TRY_ASSIGN(ww::Message m, ww::Message::from_json(json));
  return m.to_json();
}

ww::Result<Bytes> encode_message(std::string_view json, std::string_view codec) {
  // The message is read before the codec name is looked at.
  WW_TRY_ASSIGN(ww::Message m, ww::Message::from_json(json));
  WW_TRY_ASSIGN(ww::CodecKind kind, ww::normalize_codec(codec));
  return Bytes{m.encode(kind)};
}

ww::Result<std::string> decode_message(ByteView data, std::string_view codec) {
  WW_TRY_ASSIGN(ww::CodecKind kind, ww::normalize_codec(codec));
  WW_TRY_ASSIGN(ww::Message m, ww::Message::decode(data.data, kind));
  return m.to_json();
}

}  // namespace ww::bridge
