// A CRDT document: one replica of a schema-directed value, with the causal
// context and operation fingerprints that make merging with other replicas
// safe.
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

struct LiveValue;

// The replica text unchanged, unless it is empty or exactly "$init".
Result<std::string> validate_replica(std::string_view replica);

// What `mutate` made and reported.
struct MutateOutcome {
  std::vector<CrdtOp> ops;
  CrdtEffect effect;
};

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
  const std::string& spec_hash() const { return data_->spec_hash; }
  const CausalContext& context() const { return data_->context; }
  const FingerprintTable& fingerprints() const { return data_->fingerprints; }
  const NodeState& root() const { return data_->root; }
  std::uint32_t state_version() const { return data_->state_version; }
  std::uint64_t local_counter() const { return local_counter_; }

  // The saved-state text.
  std::string state() const;
  // The materialised value.
  Result<Value> value() const;
  // The compact JSON text of the materialised value.
  Result<std::string> value_json() const;

  // Local edits: the operations made and what they changed. On failure the
  // document is left exactly as it was.
  Result<MutateOutcome> mutate(const std::vector<CrdtMutation>& mutations);
  // Operations from peers; the same all-or-nothing rule.
  Result<CrdtEffect> apply(const std::vector<CrdtOp>& ops);
  // The key under which the set at `path` holds `value`.
  Result<std::string> member_key(const CrdtPath& path, const Value& value) const;
  // Forgets what the frontier makes unnecessary; the number of tombstones removed.
  Result<std::uint64_t> compact(const ReplicaCounters& frontier);

  // Makes mutate and apply materialise the whole document after every
  // operation and diff the whole values, the plain form of what they do
  // incrementally; for checking the two against each other.
  void set_whole_materialization(bool on) { whole_materialization_ = on; }

 private:
  class Call;

  CrdtDocument(CrdtSpec spec, std::string replica, std::unique_ptr<CrdtState> data);
  // The materialised value kept between calls, made when missing.
  Result<LiveValue*> live() const;
  void forget_live() const;
  // A fresh dot above every counter seen; fails, changing nothing, once the
  // counter has reached 2^64 - 1 (a peer's operation can put it there).
  Result<Dot> next_dot();

  CrdtSpec spec_;
  std::string replica_;
  // Held on the heap so that node addresses survive moving the document.
  std::unique_ptr<CrdtState> data_;
  std::uint64_t local_counter_ = 0;
  mutable std::unique_ptr<LiveValue> live_;
  bool whole_materialization_ = false;
};

}  // namespace ww::crdt::reducer
