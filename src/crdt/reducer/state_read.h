// Readers of the state types over any deserializer (JSON text or parsed
// JSON). A node state is tagged by its member "kind" and read in two steps
// (crdt/tagged_read.h): read from text, only its kind is interpreted while
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

#include "crdt/record_fields.h"
#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/dot.h"
#include "crdt/reducer/node_state.h"
#include "crdt/tagged_read.h"
#include "format/record/visitor.h"
#include "value/value_read.h"

namespace ww::crdt::reducer {

template <class D> Result<Dot> read_dot(D& de);
template <class D> Result<ElementId> read_element_id(D& de);
template <class D> Result<DotSet> read_dot_set(D& de);
template <class D> Result<std::vector<Dot>> read_dot_list(D& de);
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

inline constexpr RecordShape kDotShape{kDotFields, "struct Dot", "struct Dot with 2 elements", true, 0b11, 0};
inline constexpr RecordShape kElementIdShape{kElementIdFields, "struct ElementId",
                                             "struct ElementId with 2 elements", true, 0b11, 0};
inline constexpr RecordShape kContextShape{kContextFields, "struct CausalContext",
                                           "struct CausalContext with 2 elements", true, 0, 0b11};
inline constexpr RecordShape kMapEntryShape{kMapEntryFields, "struct MapEntryState",
                                            "struct MapEntryState with 4 elements", false, 0b1, 0b1110};
inline constexpr RecordShape kSetEntryShape{kSetEntryFields, "struct SetEntryState",
                                            "struct SetEntryState with 4 elements", false, 0b1, 0b1110};
inline constexpr RecordShape kSequenceEntryShape{kSequenceEntryFields, "struct SequenceEntryState",
                                                 "struct SequenceEntryState with 3 elements", false, 0b100, 0};
inline constexpr RecordShape kStateShape{kStateFields, "struct CrdtState", "struct CrdtState with 5 elements", true,
                                         0b10111, 0b01000};
inline constexpr RecordShape kRegisterShape{kRegisterFields, "struct variant NodeState::Register",
                                            "struct variant NodeState::Register with 2 elements", true, 0, 0};
inline constexpr RecordShape kMapShape{kEntriesFields, "struct variant NodeState::Map",
                                       "struct variant NodeState::Map with 1 elements", true, 0b1, 0};
inline constexpr RecordShape kSetShape{kEntriesFields, "struct variant NodeState::Set",
                                       "struct variant NodeState::Set with 1 elements", true, 0b1, 0};
inline constexpr RecordShape kSequenceShape{kSequenceFields, "struct variant NodeState::Sequence",
                                            "struct variant NodeState::Sequence with 2 elements", true, 0b11, 0};

// An optional value: null (or a unit) is none, anything else is read by `read`.
template <class T, class F>
struct OptionVisitor : rec::Visitor<OptionVisitor<T, F>, std::optional<T>> {
  F* read;
  explicit OptionVisitor(F& f) : read(&f) {}
  std::string expecting() const { return "option"; }
  Result<std::optional<T>> visit_none(rec::Ctx) { return std::optional<T>(); }
  Result<std::optional<T>> visit_unit(rec::Ctx) { return std::optional<T>(); }
  template <class D>
  Result<std::optional<T>> visit_some(rec::Ctx, D& de) {
    WW_TRY_ASSIGN(T v, (*read)(de));
    return std::optional<T>(std::move(v));
  }
};

template <class T, class D, class F>
Result<std::optional<T>> read_option(D& de, F&& read) {
  return de.option(OptionVisitor<T, std::remove_reference_t<F>>(read));
}

// A JSON array, each element read by `read`.
template <class T, class F>
struct ListVisitor : rec::Visitor<ListVisitor<T, F>, std::vector<T>> {
  F* read;
  explicit ListVisitor(F& f) : read(&f) {}
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<std::vector<T>> visit_seq(rec::Ctx, S& seq) {
    std::vector<T> out;
    out.reserve(cautious_reserve<T>(seq.size_hint()));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(T v, (*read)(de));
        out.push_back(std::move(v));
        return {};
      }));
      if (!more) return out;
    }
  }
};

template <class T, class D, class F>
Result<std::vector<T>> read_list(D& de, F&& read) {
  return de.seq(ListVisitor<T, std::remove_reference_t<F>>(read));
}

// A JSON object from text to values read by `read`; a repeated key keeps
// its last value.
template <class T, class F>
struct KeyedVisitor : rec::Visitor<KeyedVisitor<T, F>, std::map<std::string, T, std::less<>>> {
  using Out = std::map<std::string, T, std::less<>>;
  F* read;
  explicit KeyedVisitor(F& f) : read(&f) {}
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<Out> visit_map(rec::Ctx, M& map) {
    Out out;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) return out;
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY_ASSIGN(T v, (*read)(de));
        out.insert_or_assign(std::move(key), std::move(v));
        return {};
      }));
    }
  }
};

template <class T, class D, class F>
Result<std::map<std::string, T, std::less<>>> read_keyed(D& de, F&& read) {
  return de.map(KeyedVisitor<T, std::remove_reference_t<F>>(read));
}

// [key, value]: exactly two elements.
template <class K, class V, class FK, class FV>
struct PairVisitor : rec::Visitor<PairVisitor<K, V, FK, FV>, std::pair<K, V>> {
  FK* read_key;
  FV* read_value;
  PairVisitor(FK& k, FV& v) : read_key(&k), read_value(&v) {}
  std::string expecting() const { return "a tuple of size 2"; }
  template <class S>
  Result<std::pair<K, V>> visit_seq(rec::Ctx, S& seq) {
    std::pair<K, V> out;
    WW_TRY_ASSIGN(bool first, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(out.first, (*read_key)(de));
      return {};
    }));
    if (!first) return rec::invalid_length(0, expecting());
    WW_TRY_ASSIGN(bool second, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(out.second, (*read_value)(de));
      return {};
    }));
    if (!second) return rec::invalid_length(1, expecting());
    return out;
  }
};

// The whole list of pairs, then each pair entered in list order; a key met
// twice fails with `duplicate`.
template <class K, class V, class D, class FK, class FV>
Result<std::map<K, V>> read_pair_list(D& de, FK&& read_key, FV&& read_value, std::string_view duplicate) {
  auto read_pair = [&](auto& d) {
    return d.seq(PairVisitor<K, V, std::remove_reference_t<FK>, std::remove_reference_t<FV>>(read_key, read_value));
  };
  using Pairs = std::vector<std::pair<K, V>>;
  WW_TRY_ASSIGN(Pairs pairs, (read_list<std::pair<K, V>>(de, read_pair)));
  std::map<K, V> out;
  for (auto& [k, v] : pairs) {
    if (!out.emplace(std::move(k), std::move(v)).second) return rec::custom(std::string(duplicate));
  }
  return out;
}

}  // namespace state_detail

template <class D>
Result<Dot> read_dot(D& de) {
  Dot dot;
  auto read = [&](std::size_t i, auto& d) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(dot.counter, rec::read_u64(d));
    } else {
      WW_TRY_ASSIGN(dot.replica, rec::read_string(d));
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kDotShape, read));
  return dot;
}

template <class D>
Result<ElementId> read_element_id(D& de) {
  ElementId id;
  auto read = [&](std::size_t i, auto& d) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(id.dot, read_dot(d));
    } else {
      WW_TRY_ASSIGN(std::uint64_t index, d.u64(rec::BoundedUVisitor("u32", UINT32_MAX)));
      id.index = static_cast<std::uint32_t>(index);
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kElementIdShape, read));
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
  return state_detail::read_list<Dot>(de, [](auto& d) { return read_dot(d); });
}

template <class D>
Result<CausalContext> read_causal_context(D& de) {
  CausalContext context;
  auto read = [&](std::size_t i, auto& d) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(context.compacted,
                    state_detail::read_keyed<std::uint64_t>(d, [](auto& v) { return rec::read_u64(v); }));
    } else {
      WW_TRY_ASSIGN(context.dots, read_dot_set(d));
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kContextShape, read));
  return context;
}

template <class D>
Result<MapEntryState> read_map_entry(D& de) {
  MapEntryState entry;
  auto read = [&](std::size_t i, auto& d) -> Status {
    switch (i) {
      case 0: {
        WW_TRY_ASSIGN(entry.node, read_node_state(d));
        break;
      }
      case 1: {
        WW_TRY_ASSIGN(entry.dots, read_dot_set(d));
        break;
      }
      case 2: {
        WW_TRY_ASSIGN(entry.removed, read_dot_set(d));
        break;
      }
      default: {
        WW_TRY_ASSIGN(entry.removal_ops, read_dot_set(d));
        break;
      }
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kMapEntryShape, read));
  return entry;
}

template <class D>
Result<SetEntryState> read_set_entry(D& de) {
  SetEntryState entry;
  auto read = [&](std::size_t i, auto& d) -> Status {
    switch (i) {
      case 0: {
        WW_TRY_ASSIGN(entry.node, read_node_state(d));
        break;
      }
      case 1: {
        WW_TRY_ASSIGN(entry.adds, read_dot_set(d));
        break;
      }
      case 2: {
        WW_TRY_ASSIGN(entry.removed, read_dot_set(d));
        break;
      }
      default: {
        WW_TRY_ASSIGN(entry.removal_ops, read_dot_set(d));
        break;
      }
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kSetEntryShape, read));
  return entry;
}

template <class D>
Result<SequenceEntryState> read_sequence_entry(D& de) {
  SequenceEntryState entry;
  auto read = [&](std::size_t i, auto& d) -> Status {
    switch (i) {
      case 0: {
        WW_TRY_ASSIGN(entry.after, state_detail::read_option<ElementId>(d, [](auto& v) { return read_element_id(v); }));
        break;
      }
      case 1: {
        WW_TRY_ASSIGN(entry.node, state_detail::read_option<NodeState>(d, [](auto& v) { return read_node_state(v); }));
        break;
      }
      default: {
        WW_TRY_ASSIGN(entry.inserted, rec::read_bool(d));
        break;
      }
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kSequenceEntryShape, read));
  return entry;
}

template <class D>
Result<std::map<ElementId, SequenceEntryState>> sequence_entries(D& de) {
  return state_detail::read_pair_list<ElementId, SequenceEntryState>(
      de, [](auto& d) { return read_element_id(d); }, [](auto& d) { return read_sequence_entry(d); },
      "duplicate sequence element ID");
}

template <class D>
Result<std::map<ElementId, DotSet>> sequence_deletes(D& de) {
  return state_detail::read_pair_list<ElementId, DotSet>(
      de, [](auto& d) { return read_element_id(d); }, [](auto& d) { return read_dot_set(d); },
      "duplicate sequence deletion ID");
}

template <class D>
Result<FingerprintTable> dot_fingerprints(D& de) {
  return state_detail::read_pair_list<Dot, std::string>(
      de, [](auto& d) { return read_dot(d); }, [](auto& d) { return rec::read_string(d); },
      "duplicate operation fingerprint dot");
}

template <class D>
Result<NodeState> read_node_state(D& de) {
  using state_detail::read_keyed;
  WW_TRY_ASSIGN(TaggedContent content,
                read_tagged(de, "kind", "internally tagged enum NodeState", state_detail::kNodeKinds));
  switch (static_cast<NodeState::Kind>(content.tag)) {
    case NodeState::Kind::Register: {
      RegisterState reg;
      auto read = [&](std::size_t i, auto& d) -> Status {
        if (i == 0) {
          WW_TRY_ASSIGN(reg.value, state_detail::read_option<Value>(d, [](auto& v) { return read_value(v); }));
        } else {
          WW_TRY_ASSIGN(reg.dot, state_detail::read_option<Dot>(d, [](auto& v) { return read_dot(v); }));
        }
        return {};
      };
      WW_TRY(content.visit_rest(FieldsVisitor(state_detail::kRegisterShape, read)));
      return NodeState(std::move(reg));
    }
    case NodeState::Kind::Map: {
      MapState map;
      auto read = [&](std::size_t, auto& d) -> Status {
        WW_TRY_ASSIGN(map.entries, read_keyed<MapEntryState>(d, [](auto& v) { return read_map_entry(v); }));
        return {};
      };
      WW_TRY(content.visit_rest(FieldsVisitor(state_detail::kMapShape, read)));
      return NodeState(std::move(map));
    }
    case NodeState::Kind::Set: {
      SetState set;
      auto read = [&](std::size_t, auto& d) -> Status {
        WW_TRY_ASSIGN(set.entries, read_keyed<SetEntryState>(d, [](auto& v) { return read_set_entry(v); }));
        return {};
      };
      WW_TRY(content.visit_rest(FieldsVisitor(state_detail::kSetShape, read)));
      return NodeState(std::move(set));
    }
    case NodeState::Kind::Sequence: break;
  }
  SequenceState seq;
  auto read = [&](std::size_t i, auto& d) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(seq.entries, sequence_entries(d));
    } else {
      WW_TRY_ASSIGN(seq.deletes, sequence_deletes(d));
    }
    return {};
  };
  WW_TRY(content.visit_rest(FieldsVisitor(state_detail::kSequenceShape, read)));
  return NodeState(std::move(seq));
}

template <class D>
Result<CrdtState> read_crdt_state(D& de) {
  CrdtState state;
  auto read = [&](std::size_t i, auto& d) -> Status {
    switch (i) {
      case 0: {
        WW_TRY_ASSIGN(std::uint64_t v, d.u64(rec::BoundedUVisitor("u32", UINT32_MAX)));
        state.state_version = static_cast<std::uint32_t>(v);
        break;
      }
      case 1: {
        WW_TRY_ASSIGN(state.spec_hash, rec::read_string(d));
        break;
      }
      case 2: {
        WW_TRY_ASSIGN(state.context, read_causal_context(d));
        break;
      }
      case 3: {
        WW_TRY_ASSIGN(state.fingerprints, dot_fingerprints(d));
        break;
      }
      default: {
        WW_TRY_ASSIGN(state.root, read_node_state(d));
        break;
      }
    }
    return {};
  };
  WW_TRY(read_fields(de, state_detail::kStateShape, read));
  return state;
}

}  // namespace ww::crdt::reducer
