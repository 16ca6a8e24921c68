// Live-protocol messages: eight known kinds tagged by "t", and any other
// JSON value kept as it was read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "diff/patch.h"
#include "format/json/json_value.h"
#include "format/result.h"
#include "codec/codec_kind.h"
#include "value/value.h"

namespace ww {

class Message;

namespace msg {

struct Snapshot {
  std::uint64_t id = 0;
  std::string type;
  std::uint64_t rev = 0;
  Value value;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};
struct CrdtSnapshot {
  std::uint64_t id = 0;
  std::string type;
  std::uint64_t rev = 0;
  Value value;
  JsonValue spec;
  JsonValue state;
  friend bool operator==(const CrdtSnapshot&, const CrdtSnapshot&) = default;
};
struct PatchMsg {
  std::uint64_t id = 0;
  Patch patch;
  std::optional<std::string> proposal;
  friend bool operator==(const PatchMsg&, const PatchMsg&) = default;
};
struct Crdt {
  std::uint64_t id = 0;
  std::uint64_t rev = 0;
  std::vector<JsonValue> ops;
  std::optional<JsonValue> effect;
  std::optional<std::string> proposal;
  friend bool operator==(const Crdt&, const Crdt&) = default;
};
struct Ack {
  std::uint64_t id = 0;
  std::uint64_t rev = 0;
  std::string proposal;
  friend bool operator==(const Ack&, const Ack&) = default;
};
struct Reject {
  std::uint64_t id = 0;
  std::uint64_t rev = 0;
  std::string error;
  std::optional<std::string> proposal;
  std::optional<std::vector<JsonValue>> crdt_ops;
  friend bool operator==(const Reject&, const Reject&) = default;
};
struct Awareness {
  std::uint64_t id = 0;
  std::optional<std::string> peer;
  std::optional<JsonValue> state;  // always written, null when absent
  friend bool operator==(const Awareness&, const Awareness&) = default;
};
struct Batch {
  std::vector<Message> msgs;
  friend bool operator==(const Batch&, const Batch&) = default;
};
// Any other JSON value, written back as it was read.
struct Unknown {
  JsonValue value;
  friend bool operator==(const Unknown&, const Unknown&) = default;
};

}  // namespace msg

class Message {
 public:
  using Variant = std::variant<msg::Snapshot, msg::CrdtSnapshot, msg::PatchMsg, msg::Crdt, msg::Ack, msg::Reject,
                               msg::Awareness, msg::Batch, msg::Unknown>;

  template <class K>
  Message(K k) : v(std::move(k)) {}  // NOLINT: implicit by design

  bool is_unknown() const { return std::holds_alternative<msg::Unknown>(v); }
  friend bool operator==(const Message&, const Message&) = default;

  // Reads one message from JSON text: parse, classify, then trailing text.
  static Result<Message> from_json(std::string_view text);
  // Compact JSON: "t" first, members in declaration order.
  std::string to_json() const;
  void write_json(std::string& out) const;

  std::string encode(CodecKind kind) const;
  void encode(CodecKind kind, std::string& out) const;  // appends
  static Result<Message> decode(std::string_view bytes, CodecKind kind);

  // Classifies a parsed value: a known kind by its "t", or unknown.
  static Result<Message> classify(const JsonValue& v);
  static Result<Message> classify(JsonValue&& v);  // moves out of `v` instead of copying

  Variant v;

 private:
  // JSON text or bytes (`validate_utf8`) read as one message.
  static Result<Message> read_text(std::string_view text, bool validate_utf8);
};

}  // namespace ww
