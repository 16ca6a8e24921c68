// The module's sixteen functions in registration order. A function without
// a body yet is `pending` and stays out of the module; giving it one means
// writing the body and naming it in `implemented`.
#include "bridge/cbor_functions.h"
#include "bridge/codec_functions.h"
#include "bridge/crdt_spec_functions.h"
#include "bridge/function_table.h"
#include "bridge/message_functions.h"
#include "bridge/patch_functions.h"
#include "bridge/value_functions.h"

namespace ww::bridge {
namespace {

constexpr FunctionSpec kDiff = make_function(
    "diff", {"old", "new"}, "Diff two JSON-encoded models, returning the JSON-encoded patch.");
constexpr FunctionSpec kApply = make_function(
    "apply", {"value", "patch"}, "Apply a JSON-encoded patch to a JSON-encoded model, returning the JSON-encoded result.");
constexpr FunctionSpec kNormalizeCrdtSpec = make_function(
    "normalize_crdt_spec", {"json"}, "Parse, validate, and deterministically serialize a CRDT specification.");
constexpr FunctionSpec kCrdtSpecHash = make_function(
    "crdt_spec_hash", {"json"}, "Return the deterministic SHA-256 hash of a CRDT specification.");
constexpr FunctionSpec kRequireCrdtSpecHash = make_function(
    "require_crdt_spec_hash", {"json", "peer_hash"}, "Reject a peer hash that does not match the local CRDT specification.");
constexpr FunctionSpec kEncode = make_function(
    "encode", {"value"}, "Encode a JSON-encoded model to codec bytes.");
constexpr FunctionSpec kDecode = make_function(
    "decode", {"data"}, "Decode codec bytes back to a JSON-encoded model string.");
constexpr FunctionSpec kEncodeAs = make_function(
    "encode_as", {"value", "codec"}, "Encode a JSON-encoded model with the codec named by `codec` (e.g. `\"application/msgpack\"`).");
constexpr FunctionSpec kDecodeAs = make_function(
    "decode_as", {"data", "codec"}, "Decode bytes (produced by `codec`'s codec) back to a JSON-encoded model string.");
constexpr FunctionSpec kJsonToMsgpack = make_function(
    "json_to_msgpack", {"json"}, "Convert an arbitrary JSON document to MessagePack bytes (for encoding whole protocol messages).");
constexpr FunctionSpec kMsgpackToJson = make_function(
    "msgpack_to_json", {"data"}, "Convert MessagePack bytes back to a JSON document.");
constexpr FunctionSpec kJsonToCbor = make_function(
    "json_to_cbor", {"json"}, "Convert an arbitrary JSON document to CBOR bytes (for encoding whole protocol messages).");
constexpr FunctionSpec kCborToJson = make_function(
    "cbor_to_json", {"data"}, "Convert CBOR bytes back to a JSON document.");
constexpr FunctionSpec kNormalizeMessage = make_function(
    "normalize_message", {"json"}, "Parse and serialize one typed live protocol message as compact JSON.");
constexpr FunctionSpec kEncodeMessage = make_function(
    "encode_message", {"json", "codec"}, "Encode one JSON live protocol message with a built-in connection codec.");
constexpr FunctionSpec kDecodeMessage = make_function(
    "decode_message", {"data", "codec"}, "Decode one built-in connection-codec payload as a typed live protocol message JSON string.");

}  // namespace

const FunctionTable& module_functions() {
  static const FunctionTable table{
      implemented<kDiff, &diff_json>(),
      implemented<kApply, &apply_json>(),
      implemented<kNormalizeCrdtSpec, &normalize_crdt_spec>(),
      implemented<kCrdtSpecHash, &crdt_spec_hash>(),
      implemented<kRequireCrdtSpecHash, &require_crdt_spec_hash>(),
      implemented<kEncode, &encode_value_text>(),
      implemented<kDecode, &decode_value_bytes>(),
      implemented<kEncodeAs, &encode_as>(),
      implemented<kDecodeAs, &decode_as>(),
      implemented<kJsonToMsgpack, &json_to_msgpack>(),
      implemented<kMsgpackToJson, &msgpack_to_json>(),
      implemented<kJsonToCbor, &json_to_cbor>(),
      implemented<kCborToJson, &cbor_to_json>(),
      implemented<kNormalizeMessage, &normalize_message>(),
      implemented<kEncodeMessage, &encode_message>(),
      implemented<kDecodeMessage, &decode_message>(),
  };
  return table;
}

}  // namespace ww::bridge
