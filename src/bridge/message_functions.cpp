#include "bridge/message_functions.h"

#include "codec/codec_names.h"
#include "message/message.h"

namespace ww::bridge {
namespace {

// Room for the written message up front, so that writing rarely grows the
// buffer: about the size of what was read, in any of the codecs.
std::string buffer_for(std::size_t read_size) {
  std::string out;
  out.reserve(read_size + read_size / 4 + 64);
  return out;
}

}  // namespace

ww::Result<std::string> normalize_message(std::string_view json) {
  WW_TRY_ASSIGN(ww::Message m, ww::Message::from_json(json));
  std::string out = buffer_for(json.size());
  m.write_json(out);
  return out;
}

ww::Result<Bytes> encode_message(std::string_view json, std::string_view codec) {
  // The message is read before the codec name is looked at.
  WW_TRY_ASSIGN(ww::Message m, ww::Message::from_json(json));
  WW_TRY_ASSIGN(ww::CodecKind kind, ww::normalize_codec(codec));
  Bytes out{buffer_for(json.size())};
  m.encode(kind, out.data);
  return out;
}

ww::Result<std::string> decode_message(ByteView data, std::string_view codec) {
  WW_TRY_ASSIGN(ww::CodecKind kind, ww::normalize_codec(codec));
  WW_TRY_ASSIGN(ww::Message m, ww::Message::decode(data.data, kind));
  // JSON from the binary codecs runs longer than its input.
  std::string out = buffer_for(kind == ww::CodecKind::Json ? data.data.size() : data.data.size() * 3 / 2);
  m.write_json(out);
  return out;
}

}  // namespace ww::bridge
