#include "codec/codec_kind.h"

#include "codec/cbor_codec.h"
#include "codec/json_codec.h"
#include "codec/msgpack_codec.h"

namespace ww {

const Codec& codec_of(CodecKind kind) {
  static const JsonCodec json;
  static const MsgpackCodec msgpack;
  static const CborCodec cbor;
  switch (kind) {
    case CodecKind::Json: return json;
    case CodecKind::MessagePack: return msgpack;
    case CodecKind::Cbor: break;
  }
  return cbor;
}

}  // namespace ww
