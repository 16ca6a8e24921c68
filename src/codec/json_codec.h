// Compact JSON text as UTF-8 bytes; decoding reads one whole document
// (only JSON whitespace after it) and reports errors with their position.
#pragma once

#include "codec/codec.h"

namespace ww {

class JsonCodec final : public Codec {
 public:
  std::string encode_value(const Value& value) const override;
  Result<Value> decode_value(std::string_view bytes) const override;
  std::string encode_patch(const Patch& patch) const override;
  Result<Patch> decode_patch(std::string_view bytes) const override;
  std::string_view content_type() const override { return "application/json"; }
};

}  // namespace ww
