// The client's reading of incoming messages and the effect format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/json/json_value.h"
#include "format/result.h"

namespace ww::client {

// An incoming message, as far as the client reads it. Fields a kind does
// not have stay at their defaults.
struct ClientMessage {
  enum class Kind : std::uint8_t { Snapshot, CrdtSnapshot, Patch, Crdt, Ack, Reject, Awareness, Batch, Unknown };
  Kind kind = Kind::Unknown;
  std::uint64_t id = 0;
  std::uint64_t rev = 0;  // for Patch: the patch's own revision
  std::optional<std::string> proposal;
  std::string error;
  std::string peer;
  std::optional<JsonValue> state;
};

struct ClientEffect {
  enum class Kind : std::uint8_t {
    Snapshot, CrdtSnapshot, Patch, Crdt, StalePatch, Acknowledgement, Rejection, Awareness, Ignore, Disconnect
  };
  Kind kind = Kind::Ignore;
  std::uint64_t id = 0;
  std::uint64_t rev = 0;
  std::optional<std::string> proposal;
  std::string error;
  std::string peer;
  std::optional<JsonValue> state;
  std::vector<std::string> proposals;
};

// Whole-text readers (tag "t" resp. "effect" anywhere, object or array form).
Result<ClientMessage> read_client_message(std::string_view text);
Result<ClientEffect> read_client_effect(std::string_view text);

// Compact JSON, "effect" first, fields in declaration order.
std::string write_client_effect(const ClientEffect& e);

}  // namespace ww::client
