#include "codec/codec_names.h"

#include <array>
#include <string>
#include <utility>

namespace ww {
namespace {

using Entry = std::pair<std::string_view, CodecKind>;

constexpr std::array<Entry, 4> kMediaTypes = {{
    {"application/json", CodecKind::Json},
    {"application/msgpack", CodecKind::MessagePack},
    {"application/x-msgpack", CodecKind::MessagePack},
    {"application/cbor", CodecKind::Cbor},
}};

constexpr std::array<Entry, 5> kShortNames = {{
    {"", CodecKind::Json},
    {"json", CodecKind::Json},
    {"msgpack", CodecKind::MessagePack},
    {"x-msgpack", CodecKind::MessagePack},
    {"cbor", CodecKind::Cbor},
}};

Error unknown_codec(std::string_view name) { return Error::custom("unknown codec: " + std::string(name)); }

}  // namespace

Result<CodecKind> codec_by_media_type(std::string_view name) {
  for (const auto& [n, kind] : kMediaTypes)
    if (n == name) return kind;
  return unknown_codec(name);
}

Result<CodecKind> normalize_codec(std::string_view name) {
  for (const auto& [n, kind] : kShortNames)
    if (n == name) return kind;
  return codec_by_media_type(name);
}

}  // namespace ww
