// An operation as the document works on it: its dots and element ids
// interned, its texts and values borrowed from where they were read (a
// received operation, or the mutation that made it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/replica_table.h"
#include "value/value.h"

namespace ww::crdt::reducer {

struct InternedStep {
  CrdtPathSegment::Kind kind;
  const std::string* key;  // Key and Member
  InternedElementId id;    // Element
};

struct InternedOp {
  CrdtOp::Kind kind = CrdtOp::Kind::RegisterSet;
  InternedDot dot;
  const CrdtPath* wire_path = nullptr;
  std::vector<InternedStep> path;
  const std::string* key = nullptr;             // map_set, map_remove, set_remove
  const Value* value = nullptr;                 // register_set, map_set, set_add
  const std::vector<Value>* values = nullptr;   // sequence_insert
  InternedElementId after;                      // sequence_insert; none: the start
  std::vector<InternedElementId> ids;           // sequence_delete
  std::vector<InternedDot> removed;             // map_remove, set_remove

  // The fields of `op`, interned; the vectors' storage is reused.
  void assign(const CrdtOp& op, ReplicaTable& replicas);
  // The path of a mutation, interned.
  void assign_path(const CrdtPath& wire, ReplicaTable& replicas);
};

// The operation's compact JSON text, exactly as write_crdt_op writes it.
void write_interned_op(const InternedOp& op, const ReplicaTable& replicas, std::string& out);

}  // namespace ww::crdt::reducer
