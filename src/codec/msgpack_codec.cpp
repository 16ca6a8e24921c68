#include "codec/msgpack_codec.h"

#include "diff/patch_msgpack.h"
#include "value/value_msgpack.h"

namespace ww {

std::string MsgpackCodec::encode_value(const Value& value) const {
  std::string out;
  write_value_msgpack(value, out);
  return out;
}

Result<Value> MsgpackCodec::decode_value(std::string_view bytes) const { return value_from_msgpack(bytes); }

std::string MsgpackCodec::encode_patch(const Patch& patch) const {
  std::string out;
  write_patch_msgpack(patch, out);
  return out;
}

Result<Patch> MsgpackCodec::decode_patch(std::string_view bytes) const { return patch_from_msgpack(bytes); }

}  // namespace ww
