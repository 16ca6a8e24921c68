#include "crdt/reducer/document_ops.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_merge.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/member_key.h"

namespace ww::crdt::reducer {
namespace {

constexpr std::uint64_t kMaxElements = std::uint64_t{1} << 32;

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

Status insert_values(SequenceState& seq, const SequencePolicy& policy, const CrdtOp::SequenceInsert& op,
                     Editor& editor) {
  std::optional<ElementId> anchor = op.after;
  for (std::size_t i = 0; i < op.values.size(); ++i) {
    if (i >= kMaxElements) return Error::custom(kInsertTooMany);
    ElementId id{op.dot, static_cast<std::uint32_t>(i)};
    SequenceEntry& entry = editor.sequence_entry(seq, id);
    if (entry.second.inserted && entry.second.after != anchor) {
      return Error::custom("sequence element " + element_id_debug(id) + " has conflicting predecessors");
    }
    editor.set_after(seq, entry, anchor);
    NodeState& node = editor.element_node(entry, policy.element->kind());
    WW_TRY(merge_value(node, *policy.element, op.values[i], op.dot, editor));
    editor.mark_inserted(seq, entry);
    anchor = std::move(id);
  }
  return {};
}

void add_live(DotSet& out, const DotSet& dots) { out.insert(dots.begin(), dots.end()); }

bool any_outside(const DotSet& dots, const DotSet& removed) {
  for (const Dot& d : dots) {
    if (!removed.contains(d)) return true;
  }
  return false;
}

}  // namespace

Status set_register(NodeState& node, const Value& value, const Dot& dot, Editor& editor) {
  RegisterState* reg = node.register_();
  if (reg == nullptr) return Error::custom(kRegisterStateMismatch);
  write_if_newer(*reg, value, dot, editor);
  return {};
}

Status apply_one(NodeState& root, const CrdtPolicy& policy, const CrdtOp& op, Editor& editor) {
  WW_TRY(check_target_policy(policy, TargetPath(op)));
  WW_TRY_ASSIGN(PolicyNode<NodeState> at, node_at_path_mut(root, policy, op.path(), op.dot(), editor));
  const CrdtPolicy& pol = *at.policy;
  NodeState& node = *at.node;
  return std::visit(
      Overloaded{
          [&](const CrdtOp::RegisterSet& o) -> Status {
            if (!pol.is(CrdtPolicy::Kind::Register)) return Error::custom(kRegisterSetNotRegister);
            return set_register(node, o.value, o.dot, editor);
          },
          [&](const CrdtOp::MapSet& o) -> Status {
            MapState* map = node.map();
            if (map == nullptr) return Error::custom(kMapStateMismatch);
            const CrdtPolicy& child = pol.map()->child(o.key);
            MapEntryState& entry = editor.map_entry(*map, o.key, child.kind());
            editor.add_dot(entry.dots, o.dot);
            return merge_value(entry.node, child, o.value, o.dot, editor);
          },
          [&](const CrdtOp::MapRemove& o) -> Status {
            MapState* map = node.map();
            if (map == nullptr) return Error::custom(kMapStateMismatch);
            MapEntryState& entry = editor.map_entry(*map, o.key, pol.map()->child(o.key).kind());
            editor.add_dots(entry.removed, o.removed);
            editor.add_dot(entry.removal_ops, o.dot);
            return {};
          },
          [&](const CrdtOp::SetAdd& o) -> Status {
            const SetPolicy* sp = pol.set();
            if (sp == nullptr) return Error::custom(kSetAddNotSet);
            SetState* set = node.set();
            if (set == nullptr) return Error::custom(kSetStateMismatch);
            WW_TRY_ASSIGN(std::string key, member_key(sp->keys, o.value));
            SetEntryState& member = editor.set_member(*set, key, sp->element->kind());
            editor.add_dot(member.adds, o.dot);
            return merge_value(member.node, *sp->element, o.value, o.dot, editor);
          },
          [&](const CrdtOp::SetRemove& o) -> Status {
            const SetPolicy* sp = pol.set();
            if (sp == nullptr) return Error::custom(kSetRemoveNotSet);
            SetState* set = node.set();
            if (set == nullptr) return Error::custom(kSetStateMismatch);
            SetEntryState& member = editor.set_member(*set, o.key, sp->element->kind());
            editor.add_dots(member.removed, o.removed);
            editor.add_dot(member.removal_ops, o.dot);
            return {};
          },
          [&](const CrdtOp::SequenceInsert& o) -> Status {
            const SequencePolicy* qp = pol.sequence();
            if (qp == nullptr) return Error::custom(kInsertNotSequence);
            SequenceState* seq = node.sequence();
            if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
            return insert_values(*seq, *qp, o, editor);
          },
          [&](const CrdtOp::SequenceDelete& o) -> Status {
            if (!pol.is(CrdtPolicy::Kind::Sequence)) return Error::custom(kDeleteNotSequence);
            SequenceState* seq = node.sequence();
            if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
            for (const ElementId& id : o.ids) editor.add_delete(*seq, id, o.dot);
            return {};
          },
      },
      op.op);
}

DotSet live_dots(const NodeState& node) {
  DotSet out;
  switch (node.kind()) {
    case NodeState::Kind::Register:
      if (const std::optional<Dot>& d = node.register_()->dot) out.insert(*d);
      break;
    case NodeState::Kind::Map:
      for (const auto& [key, entry] : node.map()->entries) {
        if (!any_outside(entry.dots, entry.removed)) continue;
        add_live(out, entry.dots);
        add_live(out, live_dots(entry.node));
      }
      break;
    case NodeState::Kind::Set:
      for (const auto& [key, member] : node.set()->entries) {
        bool live = false;
        for (const Dot& d : member.adds) {
          if (member.removed.contains(d)) continue;
          out.insert(d);
          live = true;
        }
        if (live) add_live(out, live_dots(member.node));
      }
      break;
    case NodeState::Kind::Sequence: {
      const SequenceState& seq = *node.sequence();
      for (const auto& [id, e] : seq.entries) {
        if (e.inserted && !seq.deletes.contains(id)) out.insert(id.dot);
      }
      break;
    }
  }
  return out;
}

Result<CrdtDelta> delta_for(const CrdtOp& op, const CrdtPolicy& policy, const NodeState& root) {
  return std::visit(
      Overloaded{
          [&](const CrdtOp::RegisterSet& o) -> Result<CrdtDelta> {
            return CrdtDelta{CrdtDelta::RegisterSet{o.path, o.value}};
          },
          [&](const CrdtOp::MapSet& o) -> Result<CrdtDelta> {
            return CrdtDelta{CrdtDelta::MapSet{o.path, o.key, o.value}};
          },
          [&](const CrdtOp::MapRemove& o) -> Result<CrdtDelta> {
            return CrdtDelta{CrdtDelta::MapRemove{o.path, o.key}};
          },
          [&](const CrdtOp::SetAdd& o) -> Result<CrdtDelta> {
            WW_TRY_ASSIGN(const CrdtPolicy* at, policy_at_path(policy, o.path));
            const SetPolicy* sp = at->set();
            if (sp == nullptr) return Error::custom(kSetAddNotSet);
            WW_TRY_ASSIGN(std::string key, member_key(sp->keys, o.value));
            return CrdtDelta{CrdtDelta::SetAdd{o.path, std::move(key), o.value}};
          },
          [&](const CrdtOp::SetRemove& o) -> Result<CrdtDelta> {
            return CrdtDelta{CrdtDelta::SetRemove{o.path, o.key}};
          },
          [&](const CrdtOp::SequenceInsert& o) -> Result<CrdtDelta> {
            WW_TRY_ASSIGN(PolicyNode<const NodeState> at, node_at_path(root, policy, o.path));
            const SequencePolicy* qp = at.policy->sequence();
            const SequenceState* seq = at.node->sequence();
            if (qp == nullptr) return Error::custom(kInsertNotSequence);
            if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
            CrdtDelta::SequenceInsert delta{o.path, o.after, {}};
            delta.elements.reserve(o.values.size());
            for (std::size_t i = 0; i < o.values.size(); ++i) {
              ElementId id{o.dot, static_cast<std::uint32_t>(i)};
              auto it = seq->entries.find(id);
              if (it == seq->entries.end() || !it->second.node) {
                return Error::custom("unknown sequence element " + element_id_debug(id));
              }
              WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(*it->second.node, *qp->element, nullptr, nullptr));
              delta.elements.push_back(SequenceDeltaElement{std::move(id), v ? std::move(*v) : Value::null()});
            }
            return CrdtDelta{std::move(delta)};
          },
          [&](const CrdtOp::SequenceDelete& o) -> Result<CrdtDelta> {
            return CrdtDelta{CrdtDelta::SequenceDelete{o.path, o.ids}};
          },
      },
      op.op);
}

}  // namespace ww::crdt::reducer
