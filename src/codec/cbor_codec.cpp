#include "codec/cbor_codec.h"

#include "diff/patch_cbor.h"
#include "value/value_cbor.h"

namespace ww {

std::string CborCodec::encode_value(const Value& value) const {
  std::string out;
  write_value_cbor(value, out);
  return out;
}

Result<Value> CborCodec::decode_value(std::string_view bytes) const { return value_from_cbor(bytes); }

std::string CborCodec::encode_patch(const Patch& patch) const {
  std::string out;
  write_patch_cbor(patch, out);
  return out;
}

Result<Patch> CborCodec::decode_patch(std::string_view bytes) const { return patch_from_cbor(bytes); }

}  // namespace ww
