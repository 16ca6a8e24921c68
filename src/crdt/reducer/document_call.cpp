// mutate and apply: each call changes the document in place through a
// journal and undoes everything when a step fails, and keeps the
// materialised value up to date operation by operation.
#include <algorithm>
#include <limits>
#include <optional>
#include <utility>
#include <variant>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_changes.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_ops.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/document_refresh.h"
#include "crdt/reducer/ops_json.h"
#include "diff/diff.h"

namespace ww::crdt::reducer {

// One mutate or apply call on a document.
class CrdtDocument::Call {
 public:
  explicit Call(CrdtDocument& doc) : doc_(doc), counter_before_(doc.local_counter_), editor_(&journal_, nullptr) {}
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The value before the call.
  Status begin() {
    if (doc_.whole_materialization_) {
      doc_.forget_live();
      WW_TRY_ASSIGN(Value v, materialize_node(doc_.root(), doc_.spec_.root));
      before_ = v;
      last_ = std::move(v);
      return {};
    }
    WW_TRY_ASSIGN(live_, doc_.live());
    // A NaN never equals itself, so the diff reports every NaN as changed:
    // only the diff of the whole values is then right.
    if (live_->nan_count != 0) before_ = live_->value;
    editor_ = Editor(&journal_, &live_->views);
    return {};
  }

  Editor& editor() { return editor_; }
  NodeState& root() { return doc_.data_->root; }

  // The dot joins the context unless it is seen; its fingerprint replaces any other.
  void record(const Dot& dot, std::string fingerprint) {
    CausalContext& context = doc_.data_->context;
    if (!context.seen(dot)) {
      auto it = context.dots.insert(dot).first;
      journal_.record([&dots = context.dots, it] { dots.erase(it); });
    }
    FingerprintTable& table = doc_.data_->fingerprints;
    auto it = table.find(dot);
    if (it == table.end()) {
      it = table.emplace(dot, std::move(fingerprint)).first;
      journal_.record([&table, it] { table.erase(it); });
    } else {
      journal_.record([&text = it->second, old = std::move(it->second)]() mutable { text = std::move(old); });
      it->second = std::move(fingerprint);
    }
  }

  // After `op` was applied: whether the materialised value changed.
  Result<bool> changed(const CrdtOp& op) {
    if (doc_.whole_materialization_) {
      WW_TRY_ASSIGN(Value v, materialize_node(doc_.root(), doc_.spec_.root));
      const bool differs = !(v == last_);
      last_ = std::move(v);
      return differs;
    }
    const bool nan_before = live_->nan_count != 0;
    Refresher refresher(*live_, changes_, doc_.spec_.root, doc_.root());
    WW_TRY_ASSIGN(bool differs, refresher.after(op));
    return differs || nan_before || live_->nan_count != 0;
  }

  Patch patch() {
    Patch patch;
    if (doc_.whole_materialization_) {
      diff::diff_value({}, *before_, last_, patch.ops);
      doc_.forget_live();
    } else if (before_) {
      diff::diff_value({}, *before_, live_->value, patch.ops);
    } else {
      changes_.diff(live_->value, patch.ops);
    }
    return patch;
  }

  void rollback() {
    journal_.rollback();
    doc_.local_counter_ = counter_before_;
    doc_.forget_live();
  }

  // The steps every operation takes once made or accepted.
  Status step(const CrdtOp& op, std::string fingerprint, std::vector<CrdtDelta>& deltas) {
    WW_TRY(apply_one(root(), doc_.spec_.root, op, editor_));
    record(op.dot(), std::move(fingerprint));
    WW_TRY_ASSIGN(bool differs, changed(op));
    if (differs) {
      WW_TRY_ASSIGN(CrdtDelta delta, delta_for(op, doc_.spec_.root, root()));
      deltas.push_back(std::move(delta));
    }
    return {};
  }

 private:
  CrdtDocument& doc_;
  std::uint64_t counter_before_;
  Journal journal_;
  Editor editor_;
  LiveValue* live_ = nullptr;
  ChangeTrie changes_;
  std::optional<Value> before_;
  Value last_;  // whole materialisation: the value after the latest operation
};

namespace {

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::vector<Dot> as_list(const DotSet& a, const DotSet& b) {
  DotSet all = a;
  all.insert(b.begin(), b.end());
  return std::vector<Dot>(all.begin(), all.end());
}

// The elements without a deletion record, in visible order.
std::vector<ElementId> undeleted_elements(const SequenceState& seq) {
  std::vector<ElementId> out;
  for (ElementId& id : ordered_sequence_ids(seq.entries)) {
    if (!seq.deletes.contains(id)) out.push_back(std::move(id));
  }
  return out;
}

// Where a splice inserts, and the elements it deletes, by position among
// the elements without a deletion record.
struct SplicePlan {
  std::optional<ElementId> anchor;
  std::vector<ElementId> doomed;
};

Result<SplicePlan> plan_splice(const SequenceState& seq, const SequenceView* view,
                               const CrdtMutation::SequenceSplice& m) {
  std::vector<ElementId> visible;
  if (view == nullptr) visible = undeleted_elements(seq);
  const std::size_t len = view != nullptr ? view->live : visible.size();
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
  if (view == nullptr) {
    if (m.index > 0) plan.anchor = visible[m.index - 1];
    plan.doomed.assign(visible.begin() + static_cast<std::ptrdiff_t>(m.index),
                       visible.begin() + static_cast<std::ptrdiff_t>(end));
    return plan;
  }
  if (m.index > 0) plan.anchor = view->slots[view->live_slot(m.index - 1)].entry->first;
  if (m.delete_count > 0) {
    plan.doomed.reserve(m.delete_count);
    for (std::size_t i = view->live_slot(m.index); plan.doomed.size() < m.delete_count; ++i) {
      if (!view->slots[i].deleted) plan.doomed.push_back(view->slots[i].entry->first);
    }
  }
  return plan;
}

}  // namespace

Result<MutateOutcome> CrdtDocument::mutate(const std::vector<CrdtMutation>& mutations) {
  Call call(*this);
  WW_TRY(call.begin());
  MutateOutcome out;

  auto made = [&](CrdtOp op) -> Status {
    WW_TRY_ASSIGN(std::string fingerprint, op_fingerprint(op));
    WW_TRY(call.step(op, std::move(fingerprint), out.effect.deltas));
    out.ops.push_back(std::move(op));
    return {};
  };

  auto expand = [&](const CrdtMutation& mutation) -> Status {
    return std::visit(
        Overloaded{
            [&](const CrdtMutation::RegisterSet& m) -> Status {
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::RegisterSet{std::move(dot), m.path, m.value}});
            },
            [&](const CrdtMutation::MapSet& m) -> Status {
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::MapSet{std::move(dot), m.path, m.key, m.value}});
            },
            [&](const CrdtMutation::MapRemove& m) -> Status {
              WW_TRY_ASSIGN(PolicyNode<const NodeState> at, node_at_path(root(), spec_.root, m.path));
              if (!at.policy->is(CrdtPolicy::Kind::Map)) return Error::custom(kMapRemoveNotMap);
              const MapState* map = at.node->map();
              if (map == nullptr) return Error::custom(kMapStateMismatch);
              std::vector<Dot> removed;
              auto it = map->entries.find(m.key);
              if (it != map->entries.end()) removed = as_list(it->second.dots, live_dots(it->second.node));
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::MapRemove{std::move(dot), m.path, m.key, std::move(removed)}});
            },
            [&](const CrdtMutation::SetAdd& m) -> Status {
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::SetAdd{std::move(dot), m.path, m.value}});
            },
            [&](const CrdtMutation::SetRemove& m) -> Status {
              WW_TRY_ASSIGN(PolicyNode<const NodeState> at, node_at_path(root(), spec_.root, m.path));
              if (!at.policy->is(CrdtPolicy::Kind::Set)) return Error::custom(kSetRemoveNotSet);
              const SetState* set = at.node->set();
              if (set == nullptr) return Error::custom(kSetStateMismatch);
              std::vector<Dot> removed;
              auto it = set->entries.find(m.key);
              if (it != set->entries.end()) removed = as_list(it->second.adds, live_dots(it->second.node));
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::SetRemove{std::move(dot), m.path, m.key, std::move(removed)}});
            },
            [&](const CrdtMutation::SequenceInsert& m) -> Status {
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::SequenceInsert{std::move(dot), m.path, m.after, m.values}});
            },
            [&](const CrdtMutation::SequenceDelete& m) -> Status {
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::SequenceDelete{std::move(dot), m.path, m.ids}});
            },
            [&](const CrdtMutation::SequenceSplice& m) -> Status {
              WW_TRY_ASSIGN(PolicyNode<const NodeState> at, node_at_path(root(), spec_.root, m.path));
              if (!at.policy->is(CrdtPolicy::Kind::Sequence)) return Error::custom(kSpliceNotSequence);
              const SequenceState* seq = at.node->sequence();
              if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
              SequenceView* view = live_ && !whole_materialization_ ? live_->views.find(seq) : nullptr;
              WW_TRY_ASSIGN(SplicePlan plan, plan_splice(*seq, view, m));
              if (m.delete_count > 0) {
                WW_TRY_ASSIGN(Dot dot, next_dot());
                WW_TRY(made(CrdtOp{CrdtOp::SequenceDelete{std::move(dot), m.path, std::move(plan.doomed)}}));
              }
              if (m.values.empty()) return {};
              WW_TRY_ASSIGN(Dot dot, next_dot());
              return made(CrdtOp{CrdtOp::SequenceInsert{std::move(dot), m.path, std::move(plan.anchor), m.values}});
            },
        },
        mutation.mutation);
  };

  for (const CrdtMutation& m : mutations) {
    Status done = expand(m);
    if (!done.ok()) {
      call.rollback();
      return done.take_error();
    }
  }
  out.effect.patch = call.patch();
  out.effect.applied = out.ops.size();
  return out;
}

Result<CrdtEffect> CrdtDocument::apply(const std::vector<CrdtOp>& ops) {
  // Every operation is checked before anything changes.
  std::vector<std::string> fingerprints;
  fingerprints.reserve(ops.size());
  for (const CrdtOp& op : ops) {
    const Dot& dot = op.dot();
    if (dot.counter == 0 || dot.replica.empty() || dot.replica == kInitReplica) {
      return Error::custom("invalid operation dot " + dot_debug(dot));
    }
    WW_TRY_ASSIGN(std::string fingerprint, op_fingerprint(op));
    fingerprints.push_back(std::move(fingerprint));
  }

  Call call(*this);
  WW_TRY(call.begin());
  CrdtEffect effect;
  auto run = [&]() -> Status {
    for (std::size_t i = 0; i < ops.size(); ++i) {
      const CrdtOp& op = ops[i];
      const Dot& dot = op.dot();
      if (data_->context.seen(dot)) {
        auto stored = data_->fingerprints.find(dot);
        if (stored != data_->fingerprints.end() && stored->second != fingerprints[i]) {
          return Error::custom("operation dot " + dot_debug(dot) + " was reused with different content");
        }
        continue;
      }
      WW_TRY(call.step(op, std::move(fingerprints[i]), effect.deltas));
      local_counter_ = std::max(local_counter_, dot.counter);
      ++effect.applied;
    }
    return {};
  };
  Status done = run();
  if (!done.ok()) {
    call.rollback();
    return done.take_error();
  }
  effect.patch = call.patch();
  return effect;
}

}  // namespace ww::crdt::reducer
