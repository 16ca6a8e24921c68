// Replica identifiers interned once per document, so that a dot and an
// element identifier are a few machine words. Dots keep their order: by
// counter, then by the replica text bytewise.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/dot.h"

namespace ww::crdt::reducer {

// Marks "no replica": a register without dot, a sequence element without anchor.
inline constexpr std::uint32_t kNoReplica = UINT32_MAX;
// The initial value's replica "$init" is always the first one interned.
inline constexpr std::uint32_t kInitReplicaId = 0;

struct InternedDot {
  std::uint64_t counter = 0;
  std::uint32_t replica = kNoReplica;

  bool none() const { return replica == kNoReplica; }
  friend bool operator==(const InternedDot&, const InternedDot&) = default;
};

struct InternedElementId {
  std::uint64_t counter = 0;
  std::uint32_t replica = kNoReplica;  // kNoReplica: no element
  std::uint32_t index = 0;

  InternedDot dot() const { return {counter, replica}; }
  bool none() const { return replica == kNoReplica; }
  friend bool operator==(const InternedElementId&, const InternedElementId&) = default;
};

class ReplicaTable {
 public:
  ReplicaTable();

  // The identifier of `name`, made when it is new.
  std::uint32_t intern(std::string_view name);
  // kNoReplica when the name was never interned.
  std::uint32_t find(std::string_view name) const;
  const std::string& name(std::uint32_t id) const { return names_[id].text; }
  // The name as a JSON string, quotes included.
  std::string_view json(std::uint32_t id) const { return names_[id].json; }
  std::size_t size() const { return names_.size(); }
  // Forgets the names interned after the first `n` (a failed call's).
  void truncate(std::size_t n);

  // Name order of two interned replicas.
  bool replica_less(std::uint32_t a, std::uint32_t b) const { return a != b && names_[a].text < names_[b].text; }
  bool less(const InternedDot& a, const InternedDot& b) const {
    if (a.counter != b.counter) return a.counter < b.counter;
    return replica_less(a.replica, b.replica);
  }
  // No element sorts first.
  bool less(const InternedElementId& a, const InternedElementId& b) const {
    if (a.none() || b.none()) return a.none() && !b.none();
    if (a.counter != b.counter) return a.counter < b.counter;
    if (a.replica != b.replica) return names_[a.replica].text < names_[b.replica].text;
    return a.index < b.index;
  }

  InternedDot intern(const Dot& dot) { return {dot.counter, intern(dot.replica)}; }
  InternedElementId intern(const ElementId& id) { return {id.dot.counter, intern(id.dot.replica), id.index}; }
  Dot wire(const InternedDot& dot) const { return Dot{dot.counter, name(dot.replica)}; }
  ElementId wire(const InternedElementId& id) const { return ElementId{wire(id.dot()), id.index}; }

  // {"counter":5,"replica":"a"} and {"dot":{...},"index":0}
  void write(const InternedDot& dot, std::string& out) const;
  void write(const InternedElementId& id, std::string& out) const;
  // The same into a buffer with room for kMaxPut bytes, for replicas whose
  // JSON name is at most kShortName bytes; the end of what was written.
  static constexpr std::size_t kShortName = 64;
  static constexpr std::size_t kMaxPut = 128;
  bool short_name(std::uint32_t id) const { return names_[id].json.size() <= kShortName; }
  char* put(const InternedDot& dot, char* p) const;
  char* put(const InternedElementId& id, char* p) const;
  std::string debug(const InternedDot& dot) const { return dot_debug(wire(dot)); }
  std::string debug(const InternedElementId& id) const { return element_id_debug(wire(id)); }

 private:
  struct Name {
    std::string text;
    std::string json;
  };
  std::vector<Name> names_;
  std::map<std::string, std::uint32_t, std::less<>> by_name_;
  // The latest name asked for: a saved state names one replica many times running.
  std::uint32_t last_ = kNoReplica;
};

}  // namespace ww::crdt::reducer
