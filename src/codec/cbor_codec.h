// CBOR: values and patches as maps keyed by name, definite lengths.
// Decoding reads one item and ignores the bytes after it; errors read in
// the reader's structural form (Io(...), Syntax(<offset>), Semantic(...)).
#pragma once

#include "codec/codec.h"

namespace ww {

class CborCodec final : public Codec {
 public:
  std::string encode_value(const Value& value) const override;
  Result<Value> decode_value(std::string_view bytes) const override;
  std::string encode_patch(const Patch& patch) const override;
  Result<Patch> decode_patch(std::string_view bytes) const override;
  std::string_view content_type() const override { return "application/cbor"; }
};

}  // namespace ww
