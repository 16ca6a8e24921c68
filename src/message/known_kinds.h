// The eight known kinds of message: their "t", and each kind's members in
// declaration order, named. Shared by the readers of parsed JSON and of
// JSON text.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "message/message.h"

namespace ww::msg_kinds {

using namespace msg;

inline constexpr std::size_t kCount = 8;
inline constexpr std::size_t kNone = kCount;

// In the order of visit_kind's cases.
inline constexpr std::array<std::string_view, kCount> kTags = {
    "snapshot", "crdt_snapshot", "patch", "crdt", "ack", "reject", "awareness", "batch"};

inline constexpr std::array<std::string_view, 4> kSnapshotNames = {"id", "type", "rev", "value"};
inline constexpr std::array<std::string_view, 6> kCrdtSnapshotNames = {"id", "type", "rev", "value", "spec", "state"};
inline constexpr std::array<std::string_view, 3> kPatchNames = {"id", "patch", "proposal"};
inline constexpr std::array<std::string_view, 5> kCrdtNames = {"id", "rev", "ops", "effect", "proposal"};
inline constexpr std::array<std::string_view, 3> kAckNames = {"id", "rev", "proposal"};
inline constexpr std::array<std::string_view, 5> kRejectNames = {"id", "rev", "error", "proposal", "crdt_ops"};
inline constexpr std::array<std::string_view, 3> kAwarenessNames = {"id", "peer", "state"};
inline constexpr std::array<std::string_view, 1> kBatchNames = {"msgs"};

// The kind whose "t" is `tag`, or kNone.
inline std::size_t find_tag(std::string_view tag) {
  for (std::size_t k = 0; k < kCount; ++k) {
    if (kTags[k] == tag) return k;
  }
  return kNone;
}

// Calls f.template operator()<M, kNames, kMembers...>() for kind `k` (below
// kCount): M the kind's type, kMembers its members in declaration order,
// named by kNames.
template <class F>
decltype(auto) visit_kind(std::size_t k, F&& f) {
  switch (k) {
    case 0: return f.template operator()<Snapshot, kSnapshotNames, &Snapshot::id, &Snapshot::type, &Snapshot::rev,
                                         &Snapshot::value>();
    case 1: return f.template operator()<CrdtSnapshot, kCrdtSnapshotNames, &CrdtSnapshot::id, &CrdtSnapshot::type,
                                         &CrdtSnapshot::rev, &CrdtSnapshot::value, &CrdtSnapshot::spec,
                                         &CrdtSnapshot::state>();
    case 2: return f.template operator()<PatchMsg, kPatchNames, &PatchMsg::id, &PatchMsg::patch, &PatchMsg::proposal>();
    case 3: return f.template operator()<Crdt, kCrdtNames, &Crdt::id, &Crdt::rev, &Crdt::ops, &Crdt::effect,
                                         &Crdt::proposal>();
    case 4: return f.template operator()<Ack, kAckNames, &Ack::id, &Ack::rev, &Ack::proposal>();
    case 5: return f.template operator()<Reject, kRejectNames, &Reject::id, &Reject::rev, &Reject::error,
                                         &Reject::proposal, &Reject::crdt_ops>();
    case 6: return f.template operator()<Awareness, kAwarenessNames, &Awareness::id, &Awareness::peer,
                                         &Awareness::state>();
    default: break;
  }
  return f.template operator()<Batch, kBatchNames, &Batch::msgs>();
}

template <class T>
inline constexpr bool is_optional = false;
template <class T>
inline constexpr bool is_optional<std::optional<T>> = true;

template <class M, class T>
constexpr bool member_optional(T M::*) { return is_optional<T>; }

// Bit i set for each member i that is not std::optional.
template <auto... kMembers>
constexpr std::uint64_t required_members() {
  std::uint64_t required = 0;
  std::size_t i = 0;
  ((required |= (member_optional(kMembers) ? 0 : std::uint64_t{1} << i), ++i), ...);
  return required;
}

}  // namespace ww::msg_kinds
