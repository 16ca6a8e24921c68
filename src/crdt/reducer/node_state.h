// The state of one document node, a tree that mirrors the policy tree, and
// the bookkeeping of map entries, set members and sequence elements.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/dot.h"
#include "value/value.h"

namespace ww::crdt::reducer {

struct NodeState;
struct MapEntryState;
struct SetEntryState;
struct SequenceEntryState;

using DotSet = std::set<Dot>;

struct RegisterState {
  std::optional<Value> value;  // absent while no write has reached the register
  std::optional<Dot> dot;      // the dot of the write it holds
  friend bool operator==(const RegisterState&, const RegisterState&) = default;
};

struct MapState {
  std::map<std::string, MapEntryState, std::less<>> entries;
  friend bool operator==(const MapState&, const MapState&);
};

struct SetState {
  std::map<std::string, SetEntryState, std::less<>> entries;  // by member key
  friend bool operator==(const SetState&, const SetState&);
};

struct SequenceState {
  std::map<ElementId, SequenceEntryState> entries;
  std::map<ElementId, DotSet> deletes;  // the delete operations that named each element
  friend bool operator==(const SequenceState&, const SequenceState&);
};

// Its kinds are the policy kinds, in the same order.
struct NodeState {
  using Kind = CrdtPolicy::Kind;
  std::variant<RegisterState, MapState, SetState, SequenceState> node;

  NodeState() = default;
  NodeState(RegisterState s) : node(std::move(s)) {}  // NOLINT: implicit by design
  NodeState(MapState s) : node(std::move(s)) {}       // NOLINT
  NodeState(SetState s) : node(std::move(s)) {}       // NOLINT
  NodeState(SequenceState s) : node(std::move(s)) {}  // NOLINT

  // The empty node of a kind: no value and no dot, no entries, no deletes.
  static NodeState empty(Kind kind);

  Kind kind() const { return static_cast<Kind>(node.index()); }
  bool is(Kind k) const { return kind() == k; }
  const RegisterState* register_() const { return std::get_if<RegisterState>(&node); }
  RegisterState* register_() { return std::get_if<RegisterState>(&node); }
  const MapState* map() const { return std::get_if<MapState>(&node); }
  MapState* map() { return std::get_if<MapState>(&node); }
  const SetState* set() const { return std::get_if<SetState>(&node); }
  SetState* set() { return std::get_if<SetState>(&node); }
  const SequenceState* sequence() const { return std::get_if<SequenceState>(&node); }
  SequenceState* sequence() { return std::get_if<SequenceState>(&node); }

  friend bool operator==(const NodeState&, const NodeState&) = default;
};

struct MapEntryState {
  NodeState node;
  DotSet dots;         // operations that wrote the entry or below it
  DotSet removed;      // dots that removals of the entry declared removed
  DotSet removal_ops;  // the dots of those removals
  friend bool operator==(const MapEntryState&, const MapEntryState&) = default;
};

struct SetEntryState {
  NodeState node;
  DotSet adds;  // the add operations of the member
  DotSet removed;
  DotSet removal_ops;
  friend bool operator==(const SetEntryState&, const SetEntryState&) = default;
};

struct SequenceEntryState {
  std::optional<ElementId> after;  // none: the start of the sequence
  std::optional<NodeState> node;   // none while no write has reached the element
  bool inserted = false;           // whether its insert has been applied
  friend bool operator==(const SequenceEntryState&, const SequenceEntryState&) = default;
};

}  // namespace ww::crdt::reducer
