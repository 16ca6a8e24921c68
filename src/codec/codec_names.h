// Codec names. Matching is exact and case-sensitive: nothing is trimmed,
// nothing after a semicolon is dropped. An unknown name fails with
// "unknown codec: <name>", the name as given.
#pragma once

#include <string_view>

#include "codec/codec_kind.h"
#include "format/result.h"

namespace ww {

// The names of the live-protocol functions: "", "json", "msgpack",
// "x-msgpack", "cbor" and the four media-type names.
Result<CodecKind> normalize_codec(std::string_view name);

// Only the four media-type names: "application/json", "application/msgpack",
// "application/x-msgpack", "application/cbor".
Result<CodecKind> codec_by_media_type(std::string_view name);

}  // namespace ww
