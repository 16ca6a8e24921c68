// Readers of the state types over any deserializer (JSON text or parsed
// JSON). A node state is tagged by its member "kind" and read in two steps
// (format/json/tagged.h): read from text, only its kind is interpreted while
// the text is read, and everything inside it is built afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/dot.h"
#include "crdt/reducer/node_state.h"
#include "format/json/tagged.h"
#include "format/record/fields.h"
#include "format/record/keyed.h"
#include "format/record/list.h"
#include "format/record/option.h"
#include "format/record/pair.h"
#include "format/record/visitor.h"
#include "value/value_read.h"

namespace ww::crdt::reducer {

template <class D> Result<Dot> read_dot(D& de);
template <class D> Result<ElementId> read_element_id(D& de);
template <class D> Result<DotSet> read_dot_set(D& de);
template <class D> Result<std::vector<Dot>> read_dot_list(D& de);
template <class D> Result<ReplicaCounters> read_replica_counters(D& de);
template <class D> Result<CausalContext> read_causal_context(D& de);
template <class D> Result<NodeState> read_node_state(D& de);
template <class D> Result<MapEntryState> read_map_entry(D& de);
template <class D> Result<SetEntryState> read_set_entry(D& de);
template <class D> Result<SequenceEntryState> read_sequence_entry(D& de);
// The pair lists: each read whole, then entered in list order.
template <class D> Result<std::map<ElementId, SequenceEntryState>> sequence_entries(D& de);
template <class D> Result<std::map<ElementId, DotSet>> sequence_deletes(D& de);
template <class D> Result<FingerprintTable> dot_fingerprints(D& de);
template <class D> Result<CrdtState> read_crdt_state(D& de);

namespace state_detail {

inline constexpr std::array<std::string_view, 2> kDotFields = {"counter", "replica"};
inline constexpr std::array<std::string_view, 2> kElementIdFields = {"dot", "index"};
inline constexpr std::array<std::string_view, 2> kContextFields = {"compacted", "dots"};
inline constexpr std::array<std::string_view, 4> kMapEntryFields = {"node", "dots", "removed", "removal_ops"};
inline constexpr std::array<std::string_view, 4> kSetEntryFields = {"node", "adds", "removed", "removal_ops"};
inline constexpr std::array<std::string_view, 3> kSequenceEntryFields = {"after", "node", "inserted"};
inline constexpr std::array<std::string_view, 5> kStateFields = {"state_version", "spec_hash", "context",
                                                                 "fingerprints", "root"};
inline constexpr std::array<std::string_view, 4> kNodeKinds = {"register", "map", "set", "sequence"};
inline constexpr std::array<std::string_view, 2> kRegisterFields = {"value", "dot"};
inline constexpr std::array<std::string_view, 1> kEntriesFields = {"entries"};
inline constexpr std::array<std::string_view, 2> kSequenceFields = {"entries", "deletes"};

inline constexpr rec::RecordShape kDotShape{
    .fields = kDotFields, .expecting = "struct Dot", .required = 0b11, .deny_unknown = true};
inline constexpr rec::RecordShape kElementIdShape{
    .fields = kElementIdFields, .expecting = "struct ElementId", .required = 0b11, .deny_unknown = true};
inline constexpr rec::RecordShape kContextShape{
    .fields = kContextFields, .expecting = "struct CausalContext", .defaulted = 0b11, .deny_unknown = true};
// Entries skip unknown members; only the node is required.
inline constexpr rec::RecordShape kMapEntryShape{
    .fields = kMapEntryFields, .expecting = "struct MapEntryState", .required = 0b1, .defaulted = 0b1110};
inline constexpr rec::RecordShape kSetEntryShape{
    .fields = kSetEntryFields, .expecting = "struct SetEntryState", .required = 0b1, .defaulted = 0b1110};
inline constexpr rec::RecordShape kSequenceEntryShape{
    .fields = kSequenceEntryFields, .expecting = "struct SequenceEntryState", .required = 0b100};
inline constexpr rec::RecordShape kStateShape{.fields = kStateFields,
                                              .expecting = "struct CrdtState",
                                              .required = 0b10111,
                                              .defaulted = 0b01000,
                                              .deny_unknown = true};
inline constexpr rec::RecordShape kRegisterShape{
    .fields = kRegisterFields, .expecting = "struct variant NodeState::Register", .deny_unknown = true};
inline constexpr rec::RecordShape kMapShape{.fields = kEntriesFields,
                                            .expecting = "struct variant NodeState::Map",
                                            .required = 0b1,
                                            .deny_unknown = true,
                                            .length_expecting = "struct variant NodeState::Map with 1 elements"};
inline constexpr rec::RecordShape kSetShape{.fields = kEntriesFields,
                                            .expecting = "struct variant NodeState::Set",
                                            .required = 0b1,
                                            .deny_unknown = true,
                                            .length_expecting = "struct variant NodeState::Set with 1 elements"};
inline constexpr rec::RecordShape kSequenceShape{
    .fields = kSequenceFields, .expecting = "struct variant NodeState::Sequence", .required = 0b11, .deny_unknown = true};

// Map and set entries differ only in the name of the dots that wrote them.
template <class Entry, DotSet Entry::*kWrites, class D>
Result<Entry> read_entry(D& de, const rec::RecordShape& shape) {
  Entry entry;
  WW_TRY(rec::read_fields(de, shape,
                          rec::fields([&](auto& d) { return rec::assign(entry.node, read_node_state(d)); },
                                      [&](auto& d) { return rec::assign(entry.*kWrites, read_dot_set(d)); },
                                      [&](auto& d) { return rec::assign(entry.removed, read_dot_set(d)); },
                                      [&](auto& d) { return rec::assign(entry.removal_ops, read_dot_set(d)); })));
  return entry;
}

struct ReadDot {
  template <class D>
  Result<Dot> operator()(D& d) const { return read_dot(d); }
};
struct ReadElementId {
  template <class D>
  Result<ElementId> operator()(D& d) const { return read_element_id(d); }
};
struct ReadNodeState {
  template <class D>
  Result<NodeState> operator()(D& d) const { return read_node_state(d); }
};

}  // namespace state_detail

template <class D>
Result<Dot> read_dot(D& de) {
  Dot dot;
  WW_TRY(rec::read_fields(de, state_detail::kDotShape,
                          rec::fields([&](auto& d) { return rec::assign(dot.counter, rec::read_u64(d)); },
                                      [&](auto& d) { return rec::assign(dot.replica, rec::read_string(d)); })));
  return dot;
}

template <class D>
Result<ElementId> read_element_id(D& de) {
  ElementId id;
  WW_TRY(rec::read_fields(de, state_detail::kElementIdShape,
                          rec::fields([&](auto& d) { return rec::assign(id.dot, read_dot(d)); },
                                      [&](auto& d) { return rec::assign(id.index, rec::read_u32(d)); })));
  return id;
}

// A repeated dot is kept once.
template <class D>
Result<DotSet> read_dot_set(D& de) {
  WW_TRY_ASSIGN(std::vector<Dot> dots, read_dot_list(de));
  return DotSet(std::make_move_iterator(dots.begin()), std::make_move_iterator(dots.end()));
}

template <class D>
Result<std::vector<Dot>> read_dot_list(D& de) {
  return rec::read_list<Dot>(de, state_detail::ReadDot{});
}

template <class D>
Result<ReplicaCounters> read_replica_counters(D& de) {
  return rec::read_keyed<ReplicaCounters>(de, [](auto& d) { return rec::read_u64(d); });
}

template <class D>
Result<CausalContext> read_causal_context(D& de) {
  CausalContext context;
  WW_TRY(rec::read_fields(
      de, state_detail::kContextShape,
      rec::fields([&](auto& d) { return rec::assign(context.compacted, read_replica_counters(d)); },
                  [&](auto& d) { return rec::assign(context.dots, read_dot_set(d)); })));
  return context;
}

template <class D>
Result<MapEntryState> read_map_entry(D& de) {
  return state_detail::read_entry<MapEntryState, &MapEntryState::dots>(de, state_detail::kMapEntryShape);
}

template <class D>
Result<SetEntryState> read_set_entry(D& de) {
  return state_detail::read_entry<SetEntryState, &SetEntryState::adds>(de, state_detail::kSetEntryShape);
}

template <class D>
Result<SequenceEntryState> read_sequence_entry(D& de) {
  SequenceEntryState entry;
  WW_TRY(rec::read_fields(
      de, state_detail::kSequenceEntryShape,
      rec::fields(
          [&](auto& d) { return rec::read_option(d, state_detail::ReadElementId{}, entry.after); },
          [&](auto& d) { return rec::read_option(d, state_detail::ReadNodeState{}, entry.node); },
          [&](auto& d) { return rec::assign(entry.inserted, rec::read_bool(d)); })));
  return entry;
}

template <class D>
Result<std::map<ElementId, SequenceEntryState>> sequence_entries(D& de) {
  return rec::read_pair_list<ElementId, SequenceEntryState>(
      de, state_detail::ReadElementId{}, [](auto& d) { return read_sequence_entry(d); },
      "duplicate sequence element ID");
}

template <class D>
Result<std::map<ElementId, DotSet>> sequence_deletes(D& de) {
  return rec::read_pair_list<ElementId, DotSet>(de, state_detail::ReadElementId{},
                                                [](auto& d) { return read_dot_set(d); },
                                                "duplicate sequence deletion ID");
}

template <class D>
Result<FingerprintTable> dot_fingerprints(D& de) {
  return rec::read_pair_list<Dot, std::string>(de, state_detail::ReadDot{}, [](auto& d) { return rec::read_string(d); },
                                               "duplicate operation fingerprint dot");
}

template <class D>
Result<NodeState> read_node_state(D& de) {
  WW_TRY_ASSIGN(json::TaggedContent content, json::read_tagged(de, "kind", "internally tagged enum NodeState",
                                                               rec::variant_names(state_detail::kNodeKinds)));
  switch (static_cast<NodeState::Kind>(content.tag)) {
    case NodeState::Kind::Register: {
      RegisterState reg;
      WW_TRY(content.read_fields(
          state_detail::kRegisterShape,
          rec::fields([&](auto& d) { return rec::read_option(d, value_read::ReadValue{}, reg.value); },
                      [&](auto& d) { return rec::read_option(d, state_detail::ReadDot{}, reg.dot); })));
      return NodeState(std::move(reg));
    }
    case NodeState::Kind::Map: {
      MapState map;
      WW_TRY(content.read_fields(state_detail::kMapShape, rec::fields([&](auto& d) {
        return rec::assign(map.entries, rec::read_keyed<decltype(map.entries)>(d, [](auto& v) { return read_map_entry(v); }));
      })));
      return NodeState(std::move(map));
    }
    case NodeState::Kind::Set: {
      SetState set;
      WW_TRY(content.read_fields(state_detail::kSetShape, rec::fields([&](auto& d) {
        return rec::assign(set.entries, rec::read_keyed<decltype(set.entries)>(d, [](auto& v) { return read_set_entry(v); }));
      })));
      return NodeState(std::move(set));
    }
    case NodeState::Kind::Sequence: break;
  }
  SequenceState seq;
  WW_TRY(content.read_fields(state_detail::kSequenceShape,
                             rec::fields([&](auto& d) { return rec::assign(seq.entries, sequence_entries(d)); },
                                         [&](auto& d) { return rec::assign(seq.deletes, sequence_deletes(d)); })));
  return NodeState(std::move(seq));
}

template <class D>
Result<CrdtState> read_crdt_state(D& de) {
  CrdtState state;
  WW_TRY(rec::read_fields(
      de, state_detail::kStateShape,
      rec::fields([&](auto& d) { return rec::assign(state.state_version, rec::read_u32(d)); },
                  [&](auto& d) { return rec::assign(state.spec_hash, rec::read_string(d)); },
                  [&](auto& d) { return rec::assign(state.context, read_causal_context(d)); },
                  [&](auto& d) { return rec::assign(state.fingerprints, dot_fingerprints(d)); },
                  [&](auto& d) { return rec::assign(state.root, read_node_state(d)); })));
  return state;
}

}  // namespace ww::crdt::reducer
