#include "codec/json_codec.h"

#include "diff/patch_json.h"
#include "value/value_json.h"

namespace ww {

std::string JsonCodec::encode_value(const Value& value) const { return value_to_json(value); }

Result<Value> JsonCodec::decode_value(std::string_view bytes) const { return value_from_json_bytes(bytes); }

std::string JsonCodec::encode_patch(const Patch& patch) const { return patch_to_json(patch); }

Result<Patch> JsonCodec::decode_patch(std::string_view bytes) const { return patch_from_json_bytes(bytes); }

}  // namespace ww
