// MessagePack: values in their tagged form, patches and operations written
// positionally. Decoding reads one item and ignores the bytes after it.
#pragma once

#include "codec/codec.h"

namespace ww {

class MsgpackCodec final : public Codec {
 public:
  std::string encode_value(const Value& value) const override;
  Result<Value> decode_value(std::string_view bytes) const override;
  std::string encode_patch(const Patch& patch) const override;
  Result<Patch> decode_patch(std::string_view bytes) const override;
  std::string_view content_type() const override { return "application/msgpack"; }
};

}  // namespace ww
