// mutate and apply: each call changes the document in place through a
// journal and undoes everything when a step fails, keeps the materialised
// value up to date operation by operation, and writes its result text as it
// goes (each operation's text once: its fingerprint is taken over it).
#include <algorithm>
#include <limits>
#include <optional>
#include <utility>
#include <variant>

#include "crdt/invariant.h"
#include "crdt/reducer/document.h"
#include "crdt/reducer/document_body.h"
#include "crdt/reducer/document_changes.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_ops.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/document_refresh.h"
#include "crdt/reducer/interned_op.h"
#include "crdt/reducer/ops_json.h"
#include "crdt/sha256_text.h"
#include "diff/diff.h"
#include "diff/patch_json.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

// One mutate or apply call on a document.
class CrdtDocument::Call {
 public:
  explicit Call(CrdtDocument& doc)
      : doc_(doc),
        body_(*doc.body_),
        counter_before_(doc.local_counter_),
        replicas_before_(body_.replicas.size()),
        editor_(&body_.journal, body_.replicas),
        deltas_(body_.deltas) {
    body_.journal.begin_call();
    deltas_.clear();
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The value before the call.
  Status begin() {
    doc_.changed();
    if (doc_.whole_materialization_) {
      doc_.forget_live();
      WW_TRY_ASSIGN(Value v, materialize_node(body_.root, doc_.spec_.root, body_.replicas, OrderSource::Walk));
      before_ = v;
      last_ = std::move(v);
      return {};
    }
    if (!body_.live) {
      WW_TRY_ASSIGN(LiveValue made, materialize_live(body_.root, doc_.spec_.root, body_.replicas));
      body_.live = std::make_unique<LiveValue>(std::move(made));
    }
    live_ = body_.live.get();
    refresher_.emplace(*live_, changes_, policy(), body_.root, body_.replicas);
    // A NaN never equals itself, so the diff reports every NaN as changed:
    // only the diff of the whole values is then right.
    if (live_->nan_count != 0) before_ = live_->value;
    return {};
  }

  Node& root() { return body_.root; }
  ReplicaTable& replicas() { return body_.replicas; }
  const CrdtPolicy& policy() const { return doc_.spec_.root; }
  OrderSource order() const { return doc_.whole_materialization_ ? OrderSource::Walk : OrderSource::Kept; }

  // The steps every operation takes once made or accepted: apply it, record
  // its dot and fingerprint, and, when the value changed, write its delta.
  Status step(const InternedOp& op, const Sha256Digest& fingerprint) {
    applied_.member_key.clear();
    WW_TRY(apply_one(root(), policy(), op, editor_, applied_));
    if (body_.log.seen(op.dot, body_.replicas)) broken_invariant("an operation's dot was seen already");
    body_.log.insert(op.dot, fingerprint, body_.replicas);
    body_.journal.record(Journal::Logged{op.dot});
    WW_TRY_ASSIGN(bool differs, changed(op));
    if (differs) {
      const std::size_t mark = deltas_.size();
      if (mark != 0) deltas_.push_back(',');
      Status written = write_delta(op, applied_, body_.replicas, order(), deltas_);
      if (!written.ok()) {
        deltas_.resize(mark);
        return written;
      }
    }
    return {};
  }

  // After an operation was applied: whether the materialised value changed.
  Result<bool> changed(const InternedOp& op) {
    if (doc_.whole_materialization_) {
      WW_TRY_ASSIGN(Value v, materialize_node(body_.root, policy(), body_.replicas, OrderSource::Walk));
      const bool differs = !(v == last_);
      last_ = std::move(v);
      return differs;
    }
    const bool nan_before = live_->nan_count != 0;
    WW_TRY_ASSIGN(bool differs, refresher_->after(op, &applied_.member_key));
    return differs || nan_before || live_->nan_count != 0;
  }

  // {"patch":...,"deltas":[...],"applied":N}
  void write_effect(std::uint64_t applied, std::string& out) {
    out.append("{\"patch\":{\"rev\":0,\"ops\":[");
    if (doc_.whole_materialization_ || before_) {
      std::vector<Op> ops;
      diff::diff_value({}, *before_, doc_.whole_materialization_ ? last_ : live_->value, ops);
      for (std::size_t i = 0; i < ops.size(); ++i) {
        if (i != 0) out.push_back(',');
        write_op_json(ops[i], out);
      }
    } else {
      bool first = true;
      changes_.write_diff(live_->value, out, first);
    }
    out.append("]},\"deltas\":[");
    out.append(deltas_);
    out.append("],\"applied\":");
    json::append_u64(applied, out);
    out.push_back('}');
  }

  // Undoes every change of the call.
  void rollback() {
    body_.journal.rollback(body_.log, body_.replicas);
    body_.replicas.truncate(replicas_before_);
    doc_.local_counter_ = counter_before_;
    doc_.forget_live();
  }

  // Keeps the changes of the call.
  void commit() {
    body_.journal.begin_call();
    if (doc_.whole_materialization_) doc_.forget_live();
  }

 private:
  CrdtDocument& doc_;
  Body& body_;
  std::uint64_t counter_before_;
  std::size_t replicas_before_;
  Editor editor_;
  LiveValue* live_ = nullptr;
  ChangeTrie changes_;
  std::optional<Refresher> refresher_;
  std::optional<Value> before_;
  Value last_;  // whole materialisation: the value after the latest operation
  AppliedAt applied_;
  std::string& deltas_;
};

namespace {

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();

// Where a splice inserts, and the elements it deletes, by position among
// the elements without a deletion record.
struct SplicePlan {
  InternedElementId anchor;
  std::vector<InternedElementId> doomed;
};

Result<SplicePlan> plan_splice(const SequenceNode& seq, const CrdtMutation::SequenceSplice& m, OrderSource order,
                               const ReplicaTable& replicas) {
  std::vector<std::uint32_t> walked;
  if (order == OrderSource::Walk) {
    for (std::uint32_t h : walk_sequence_order(seq, replicas)) {
      if (!seq.elements[h].deleted) walked.push_back(h);
    }
  }
  const std::size_t len = order == OrderSource::Walk ? walked.size() : seq.order.live();
  if (m.index > len) {
    return Error::custom("sequence splice index " + std::to_string(m.index) + " out of bounds (len " +
                         std::to_string(len) + ")");
  }
  const bool overflows = m.delete_count > kU64Max - m.index;
  const std::uint64_t end = overflows ? kU64Max : m.index + m.delete_count;
  if (overflows || end > len) {
    return Error::custom("sequence splice delete range " + std::to_string(m.index) + ".." + std::to_string(end) +
                         " out of bounds (len " + std::to_string(len) + ")");
  }
  SplicePlan plan;
  if (order == OrderSource::Walk) {
    if (m.index > 0) plan.anchor = seq.elements[walked[m.index - 1]].id;
    for (std::uint64_t i = m.index; i < end; ++i) plan.doomed.push_back(seq.elements[walked[i]].id);
    return plan;
  }
  if (m.index > 0) plan.anchor = seq.elements[seq.order.handle(seq.order.live_at(m.index - 1))].id;
  if (m.delete_count > 0) {
    plan.doomed.reserve(m.delete_count);
    for (auto c = seq.order.live_at(m.index); plan.doomed.size() < m.delete_count; c = seq.order.next(c)) {
      if (!seq.order.deleted(c)) plan.doomed.push_back(seq.elements[seq.order.handle(c)].id);
    }
  }
  return plan;
}

}  // namespace

Result<std::string> CrdtDocument::mutate(const std::vector<CrdtMutation>& mutations) {
  Call call(*this);
  WW_TRY(call.begin());
  std::string& ops_text = body_->ops_text;
  ops_text.clear();
  std::uint64_t made_count = 0;
  InternedOp op;

  // Writes the operation, takes its fingerprint over that text, and applies it.
  auto made = [&]() -> Status {
    const std::size_t start = ops_text.size();
    if (start != 0) ops_text.push_back(',');
    const std::size_t at = ops_text.size();
    write_interned_op(op, call.replicas(), ops_text);
    const Sha256Digest fingerprint = body_->hasher.digest(std::string_view(ops_text).substr(at));
    WW_TRY(call.step(op, fingerprint));
    ++made_count;
    return {};
  };
  auto begin_op = [&](CrdtOp::Kind kind, const CrdtPath& path) -> Status {
    WW_TRY_ASSIGN(std::uint64_t counter, next_counter());
    // Field by field, keeping the storage of the lists from one operation to the next.
    op.key = nullptr;
    op.value = nullptr;
    op.values = nullptr;
    op.after = {};
    op.ids.clear();
    op.removed.clear();
    op.kind = kind;
    op.dot = InternedDot{counter, body_->replica_id};
    op.assign_path(path, call.replicas());
    return {};
  };
  // The dots that keep the entry or member of `key` alive, for a removal.
  auto removed_of = [&](const EntryTable& table, const std::string& key) {
    std::vector<InternedDot> removed;
    if (const Entry* e = table.find(key)) removed = live_dots_with(e->dots, e->node, call.replicas());
    return removed;
  };

  auto expand = [&](const CrdtMutation& mutation) -> Status {
    switch (mutation.kind()) {
      case CrdtMutation::Kind::RegisterSet: {
        const auto& m = std::get<CrdtMutation::RegisterSet>(mutation.mutation);
        WW_TRY(begin_op(CrdtOp::Kind::RegisterSet, m.path));
        op.value = &m.value;
        return made();
      }
      case CrdtMutation::Kind::MapSet: {
        const auto& m = std::get<CrdtMutation::MapSet>(mutation.mutation);
        WW_TRY(begin_op(CrdtOp::Kind::MapSet, m.path));
        op.key = &m.key;
        op.value = &m.value;
        return made();
      }
      case CrdtMutation::Kind::MapRemove: {
        const auto& m = std::get<CrdtMutation::MapRemove>(mutation.mutation);
        WW_TRY_ASSIGN(PolicyNode<const Node> at, node_at_path(call.root(), call.policy(), m.path, call.replicas()));
        if (!at.policy->is(CrdtPolicy::Kind::Map)) return Error::custom(kMapRemoveNotMap);
        const EntryTable* map = at.node->map();
        if (map == nullptr) return Error::custom(kMapStateMismatch);
        std::vector<InternedDot> removed = removed_of(*map, m.key);
        WW_TRY(begin_op(CrdtOp::Kind::MapRemove, m.path));
        op.key = &m.key;
        op.removed = std::move(removed);
        return made();
      }
      case CrdtMutation::Kind::SetAdd: {
        const auto& m = std::get<CrdtMutation::SetAdd>(mutation.mutation);
        WW_TRY(begin_op(CrdtOp::Kind::SetAdd, m.path));
        op.value = &m.value;
        return made();
      }
      case CrdtMutation::Kind::SetRemove: {
        const auto& m = std::get<CrdtMutation::SetRemove>(mutation.mutation);
        WW_TRY_ASSIGN(PolicyNode<const Node> at, node_at_path(call.root(), call.policy(), m.path, call.replicas()));
        if (!at.policy->is(CrdtPolicy::Kind::Set)) return Error::custom(kSetRemoveNotSet);
        const EntryTable* set = at.node->set();
        if (set == nullptr) return Error::custom(kSetStateMismatch);
        std::vector<InternedDot> removed = removed_of(*set, m.key);
        WW_TRY(begin_op(CrdtOp::Kind::SetRemove, m.path));
        op.key = &m.key;
        op.removed = std::move(removed);
        return made();
      }
      case CrdtMutation::Kind::SequenceInsert: {
        const auto& m = std::get<CrdtMutation::SequenceInsert>(mutation.mutation);
        WW_TRY(begin_op(CrdtOp::Kind::SequenceInsert, m.path));
        if (m.after) op.after = call.replicas().intern(*m.after);
        op.values = &m.values;
        return made();
      }
      case CrdtMutation::Kind::SequenceDelete: {
        const auto& m = std::get<CrdtMutation::SequenceDelete>(mutation.mutation);
        WW_TRY(begin_op(CrdtOp::Kind::SequenceDelete, m.path));
        for (const ElementId& id : m.ids) op.ids.push_back(call.replicas().intern(id));
        return made();
      }
      case CrdtMutation::Kind::SequenceSplice: break;
    }
    const auto& m = std::get<CrdtMutation::SequenceSplice>(mutation.mutation);
    WW_TRY_ASSIGN(PolicyNode<const Node> at, node_at_path(call.root(), call.policy(), m.path, call.replicas()));
    if (!at.policy->is(CrdtPolicy::Kind::Sequence)) return Error::custom(kSpliceNotSequence);
    const SequenceNode* seq = at.node->sequence();
    if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
    WW_TRY_ASSIGN(SplicePlan plan, plan_splice(*seq, m, call.order(), call.replicas()));
    if (m.delete_count > 0) {
      WW_TRY(begin_op(CrdtOp::Kind::SequenceDelete, m.path));
      op.ids = std::move(plan.doomed);
      WW_TRY(made());
    }
    if (m.values.empty()) return {};
    WW_TRY(begin_op(CrdtOp::Kind::SequenceInsert, m.path));
    op.after = plan.anchor;
    op.values = &m.values;
    return made();
  };

  for (const CrdtMutation& m : mutations) {
    Status done = expand(m);
    if (!done.ok()) {
      call.rollback();
      return done.take_error();
    }
  }
  std::string out;
  out.reserve(std::max(body_->result_size, ops_text.size() + 64));
  out.append("{\"ops\":[");
  out.append(ops_text);
  out.append("],\"effect\":");
  call.write_effect(made_count, out);
  out.push_back('}');
  call.commit();
  body_->result_size = out.size() + out.size() / 8;
  return out;
}

Result<std::string> CrdtDocument::apply(const std::vector<CrdtOp>& ops) { return apply_texts(ops, nullptr); }

Result<std::string> CrdtDocument::apply_written(const std::vector<CrdtOp>& ops,
                                                const std::vector<std::string_view>& texts) {
  if (texts.size() != ops.size()) broken_invariant("an operation without its text");
  return apply_texts(ops, &texts);
}

Result<std::string> CrdtDocument::apply_texts(const std::vector<CrdtOp>& ops,
                                              const std::vector<std::string_view>* texts) {
  // Every operation is checked before anything changes.
  std::vector<Sha256Digest> fingerprints;
  fingerprints.reserve(ops.size());
  std::string text;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const Dot& dot = ops[i].dot();
    if (dot.counter == 0 || dot.replica.empty() || dot.replica == kInitReplica) {
      return Error::custom("invalid operation dot " + dot_debug(dot));
    }
    if (texts != nullptr) {
      fingerprints.push_back(body_->hasher.digest((*texts)[i]));
      continue;
    }
    text.clear();
    write_crdt_op(ops[i], text);
    fingerprints.push_back(body_->hasher.digest(text));
  }

  Call call(*this);
  WW_TRY(call.begin());
  std::uint64_t applied = 0;
  InternedOp op;
  auto run = [&]() -> Status {
    for (std::size_t i = 0; i < ops.size(); ++i) {
      op.assign(ops[i], call.replicas());
      if (body_->log.seen(op.dot, body_->replicas)) {
        const OpLog::Record* stored = body_->log.find(op.dot, body_->replicas);
        if (stored != nullptr && !body_->log.same_fingerprint(*stored, fingerprints[i])) {
          return Error::custom("operation dot " + dot_debug(ops[i].dot()) + " was reused with different content");
        }
        continue;
      }
      WW_TRY(call.step(op, fingerprints[i]));
      local_counter_ = std::max(local_counter_, op.dot.counter);
      ++applied;
    }
    return {};
  };
  Status done = run();
  if (!done.ok()) {
    call.rollback();
    return done.take_error();
  }
  std::string out;
  out.reserve(body_->result_size);
  call.write_effect(applied, out);
  call.commit();
  body_->result_size = out.size() + out.size() / 8;
  return out;
}

}  // namespace ww::crdt::reducer
