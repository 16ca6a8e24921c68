// A CRDT document: one replica of a schema-directed value, with the causal
// context and operation fingerprints that make merging with other replicas
// safe. It holds its state in the compact form (replicas interned, flat
// tables, fingerprints as digest bytes) and keeps its materialised value
// between calls; every text it reads or writes is the saved-state,
// operation and effect format.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// The replica text unchanged, unless it is empty or exactly "$init".
Result<std::string> validate_replica(std::string_view replica);

class CrdtDocument {
 public:
  // From a specification, an initial value and a replica identifier.
  static Result<CrdtDocument> create(std::string_view spec_json, std::string_view value_json,
                                     std::string_view replica);
  // From a saved state, checked against the specification.
  static Result<CrdtDocument> from_state(std::string_view spec_json, std::string_view state_json,
                                         std::string_view replica);

  CrdtDocument(CrdtDocument&&) noexcept;
  CrdtDocument& operator=(CrdtDocument&&) noexcept;
  CrdtDocument(const CrdtDocument&) = delete;
  CrdtDocument& operator=(const CrdtDocument&) = delete;
  ~CrdtDocument();

  const CrdtSpec& spec() const { return spec_; }
  const std::string& replica() const { return replica_; }
  const std::string& spec_hash() const;
  std::uint32_t state_version() const { return 1; }
  std::uint64_t local_counter() const { return local_counter_; }

  // The saved-state records of the document, made when asked for (for
  // checks and tests) and kept until the document changes.
  const CausalContext& context() const { return wire().context; }
  const FingerprintTable& fingerprints() const { return wire().fingerprints; }
  const NodeState& root() const { return wire().root; }

  // The saved-state text.
  std::string state() const;
  // The materialised value.
  Result<Value> value() const;
  // The compact JSON text of the materialised value.
  Result<std::string> value_json() const;

  // Local edits: {"ops":[<CrdtOp>,...],"effect":<CrdtEffect>}. On failure the
  // document is left exactly as it was.
  Result<std::string> mutate(const std::vector<CrdtMutation>& mutations);
  // Operations from peers: the CrdtEffect; the same all-or-nothing rule.
  Result<std::string> apply(const std::vector<CrdtOp>& ops);
  // The same, given texts[i], the text write_crdt_op makes of ops[i]: the
  // fingerprints are taken over those texts without writing them again.
  Result<std::string> apply_written(const std::vector<CrdtOp>& ops, const std::vector<std::string_view>& texts);
  // The key under which the set at `path` holds `value`.
  Result<std::string> member_key(const CrdtPath& path, const Value& value) const;
  // Forgets what the frontier makes unnecessary; the number of tombstones removed.
  Result<std::uint64_t> compact(const ReplicaCounters& frontier);

  // Makes mutate and apply materialise the whole document after every
  // operation (walking the anchors of every sequence afresh) and diff the
  // whole values, the plain form of what they do incrementally; for checking
  // the two against each other.
  void set_whole_materialization(bool on);

  struct Body;

 private:
  class Call;

  CrdtDocument(CrdtSpec spec, std::string replica, std::unique_ptr<Body> body);
  const CrdtState& wire() const;
  void changed();
  void forget_live() const;
  // A fresh counter above every counter seen; fails, changing nothing, once
  // the counter has reached 2^64 - 1 (a peer's operation can put it there).
  Result<std::uint64_t> next_counter();
  // apply, with the written texts of the operations when known (else null).
  Result<std::string> apply_texts(const std::vector<CrdtOp>& ops, const std::vector<std::string_view>* texts);

  CrdtSpec spec_;
  std::string replica_;
  // Held on the heap so that node addresses survive moving the document.
  std::unique_ptr<Body> body_;
  std::uint64_t local_counter_ = 0;
  bool whole_materialization_ = false;
};

}  // namespace ww::crdt::reducer
