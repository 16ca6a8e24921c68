// The records a CRDT document exchanges: paths, local mutations, replicated
// operations, and what one call changed (deltas and the effect).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "crdt/reducer/dot.h"
#include "diff/patch.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// One step of a path from the root node.
struct CrdtPathSegment {
  enum class Kind : std::uint8_t { Key, Member, Element };
  Kind kind = Kind::Key;
  std::string key;  // Key: the map entry; Member: the member key
  ElementId id;     // Element

  static CrdtPathSegment map_key(std::string k) { return {Kind::Key, std::move(k), {}}; }
  static CrdtPathSegment member(std::string k) { return {Kind::Member, std::move(k), {}}; }
  static CrdtPathSegment element(ElementId e) { return {Kind::Element, {}, std::move(e)}; }

  friend bool operator==(const CrdtPathSegment&, const CrdtPathSegment&) = default;
};

using CrdtPath = std::vector<CrdtPathSegment>;

// A replicated operation. The variants in this order; fields in written order.
struct CrdtOp {
  struct RegisterSet {
    Dot dot;
    CrdtPath path;
    Value value;
    friend bool operator==(const RegisterSet&, const RegisterSet&) = default;
  };
  struct MapSet {
    Dot dot;
    CrdtPath path;
    std::string key;
    Value value;
    friend bool operator==(const MapSet&, const MapSet&) = default;
  };
  struct MapRemove {
    Dot dot;
    CrdtPath path;
    std::string key;
    std::vector<Dot> removed;  // what the remover saw keeping the entry alive
    friend bool operator==(const MapRemove&, const MapRemove&) = default;
  };
  struct SetAdd {
    Dot dot;
    CrdtPath path;
    Value value;
    friend bool operator==(const SetAdd&, const SetAdd&) = default;
  };
  struct SetRemove {
    Dot dot;
    CrdtPath path;
    std::string key;  // the member key
    std::vector<Dot> removed;
    friend bool operator==(const SetRemove&, const SetRemove&) = default;
  };
  struct SequenceInsert {
    Dot dot;
    CrdtPath path;
    std::optional<ElementId> after;  // none: the start
    std::vector<Value> values;       // value i becomes the element {dot, i}
    friend bool operator==(const SequenceInsert&, const SequenceInsert&) = default;
  };
  struct SequenceDelete {
    Dot dot;
    CrdtPath path;
    std::vector<ElementId> ids;
    friend bool operator==(const SequenceDelete&, const SequenceDelete&) = default;
  };
  enum class Kind : std::uint8_t { RegisterSet, MapSet, MapRemove, SetAdd, SetRemove, SequenceInsert, SequenceDelete };

  std::variant<RegisterSet, MapSet, MapRemove, SetAdd, SetRemove, SequenceInsert, SequenceDelete> op;

  Kind kind() const { return static_cast<Kind>(op.index()); }
  const Dot& dot() const;
  const CrdtPath& path() const;
  friend bool operator==(const CrdtOp&, const CrdtOp&) = default;
};

// A local edit request: the operations' fields without `dot` and `removed`,
// and a splice by visible position.
struct CrdtMutation {
  struct RegisterSet {
    CrdtPath path;
    Value value;
    friend bool operator==(const RegisterSet&, const RegisterSet&) = default;
  };
  struct MapSet {
    CrdtPath path;
    std::string key;
    Value value;
    friend bool operator==(const MapSet&, const MapSet&) = default;
  };
  struct MapRemove {
    CrdtPath path;
    std::string key;
    friend bool operator==(const MapRemove&, const MapRemove&) = default;
  };
  struct SetAdd {
    CrdtPath path;
    Value value;
    friend bool operator==(const SetAdd&, const SetAdd&) = default;
  };
  struct SetRemove {
    CrdtPath path;
    std::string key;
    friend bool operator==(const SetRemove&, const SetRemove&) = default;
  };
  struct SequenceInsert {
    CrdtPath path;
    std::optional<ElementId> after;
    std::vector<Value> values;
    friend bool operator==(const SequenceInsert&, const SequenceInsert&) = default;
  };
  struct SequenceDelete {
    CrdtPath path;
    std::vector<ElementId> ids;
    friend bool operator==(const SequenceDelete&, const SequenceDelete&) = default;
  };
  struct SequenceSplice {
    CrdtPath path;
    std::uint64_t index = 0;
    std::uint64_t delete_count = 0;
    std::vector<Value> values;
    friend bool operator==(const SequenceSplice&, const SequenceSplice&) = default;
  };
  enum class Kind : std::uint8_t {
    RegisterSet, MapSet, MapRemove, SetAdd, SetRemove, SequenceInsert, SequenceDelete, SequenceSplice,
  };

  std::variant<RegisterSet, MapSet, MapRemove, SetAdd, SetRemove, SequenceInsert, SequenceDelete, SequenceSplice>
      mutation;

  Kind kind() const { return static_cast<Kind>(mutation.index()); }
  friend bool operator==(const CrdtMutation&, const CrdtMutation&) = default;
};

// One inserted element with the identifier it received.
struct SequenceDeltaElement {
  ElementId id;
  Value value;
  friend bool operator==(const SequenceDeltaElement&, const SequenceDeltaElement&) = default;
};

// What one operation changed, in the order of CrdtOp's variants.
struct CrdtDelta {
  struct RegisterSet {
    CrdtPath path;
    Value value;
    friend bool operator==(const RegisterSet&, const RegisterSet&) = default;
  };
  struct MapSet {
    CrdtPath path;
    std::string key;
    Value value;
    friend bool operator==(const MapSet&, const MapSet&) = default;
  };
  struct MapRemove {
    CrdtPath path;
    std::string key;
    friend bool operator==(const MapRemove&, const MapRemove&) = default;
  };
  struct SetAdd {
    CrdtPath path;
    std::string key;  // the member key the value received
    Value value;
    friend bool operator==(const SetAdd&, const SetAdd&) = default;
  };
  struct SetRemove {
    CrdtPath path;
    std::string key;
    friend bool operator==(const SetRemove&, const SetRemove&) = default;
  };
  struct SequenceInsert {
    CrdtPath path;
    std::optional<ElementId> after;
    std::vector<SequenceDeltaElement> elements;
    friend bool operator==(const SequenceInsert&, const SequenceInsert&) = default;
  };
  struct SequenceDelete {
    CrdtPath path;
    std::vector<ElementId> ids;
    friend bool operator==(const SequenceDelete&, const SequenceDelete&) = default;
  };

  std::variant<RegisterSet, MapSet, MapRemove, SetAdd, SetRemove, SequenceInsert, SequenceDelete> delta;
  friend bool operator==(const CrdtDelta&, const CrdtDelta&) = default;
};

// What a mutate or apply call reports.
struct CrdtEffect {
  Patch patch;                    // the diff of the materialised values before and after
  std::vector<CrdtDelta> deltas;  // one for each operation that changed the value
  std::uint64_t applied = 0;      // the operations applied
  friend bool operator==(const CrdtEffect&, const CrdtEffect&) = default;
};

}  // namespace ww::crdt::reducer
