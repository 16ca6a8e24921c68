// A wire format for model values and patches. The codecs hold no state:
// one instance of each serves every caller.
#pragma once

#include <string>
#include <string_view>

#include "diff/patch.h"
#include "format/result.h"
#include "value/value.h"

namespace ww {

class Codec {
 public:
  virtual ~Codec() = default;

  // Encoding cannot fail; the result holds exactly the bytes written.
  virtual std::string encode_value(const Value& value) const = 0;
  // A failure's text() is the codec's own error text, with no prefix.
  virtual Result<Value> decode_value(std::string_view bytes) const = 0;
  virtual std::string encode_patch(const Patch& patch) const = 0;
  virtual Result<Patch> decode_patch(std::string_view bytes) const = 0;
  // The media-type name: "application/json", "application/msgpack", ...
  virtual std::string_view content_type() const = 0;
};

}  // namespace ww
