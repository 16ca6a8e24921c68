// The three built-in codecs, by kind.
#pragma once

#include <cstdint>

#include "codec/codec.h"

namespace ww {

enum class CodecKind : std::uint8_t { Json, MessagePack, Cbor };

// The one shared instance of the kind's codec.
const Codec& codec_of(CodecKind kind);

}  // namespace ww
