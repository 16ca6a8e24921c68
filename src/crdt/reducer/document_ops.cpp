#include "crdt/reducer/document_ops.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "crdt/reducer/document_merge.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/member_key.h"
#include "crdt/reducer/ops_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

constexpr std::uint64_t kMaxElements = std::uint64_t{1} << 32;

Status insert_values(SequenceNode& seq, const SequencePolicy& policy, const InternedOp& op, Editor& editor) {
  InternedElementId anchor = op.after;
  const std::vector<Value>& values = *op.values;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i >= kMaxElements) return Error::custom(kInsertTooMany);
    const InternedElementId id{op.dot.counter, op.dot.replica, static_cast<std::uint32_t>(i)};
    const std::uint32_t h = editor.element(seq, id);
    const Element& e = seq.elements[h];
    if (e.inserted && !(e.after == anchor)) {
      return Error::custom("sequence element " + editor.replicas().debug(id) + " has conflicting predecessors");
    }
    editor.set_after(seq, h, anchor);
    Node& node = editor.element_node(seq, h, policy.element->kind());
    WW_TRY(merge_value(node, *policy.element, values[i], op.dot, editor));
    editor.mark_inserted(seq, h);
    anchor = id;
  }
  return {};
}

void collect_live(const Node& node, const ReplicaTable& replicas, std::vector<InternedDot>& out) {
  switch (node.kind()) {
    case Node::Kind::Register:
      if (!node.dot().none()) out.push_back(node.dot());
      break;
    case Node::Kind::Map:
      node.map()->for_each([&](const Entry& entry) {
        const bool live = !entry.dots.all_of([&](const InternedDot& d) { return entry.removed.contains(d, replicas); });
        if (!live) return;
        entry.dots.for_each([&](const InternedDot& d) { out.push_back(d); });
        collect_live(entry.node, replicas, out);
      });
      break;
    case Node::Kind::Set:
      node.set()->for_each([&](const Entry& member) {
        bool live = false;
        member.dots.for_each([&](const InternedDot& d) {
          if (member.removed.contains(d, replicas)) return;
          out.push_back(d);
          live = true;
        });
        if (live) collect_live(member.node, replicas, out);
      });
      break;
    case Node::Kind::Sequence: {
      const SequenceNode& seq = *node.sequence();
      for (const IdHandle& ih : seq.ids) {
        const Element& e = seq.elements[ih.handle];
        if (e.inserted && !e.deleted) out.push_back(e.id.dot());
      }
      break;
    }
  }
}

}  // namespace

Status set_register(Node& node, const Value& value, const InternedDot& dot, Editor& editor) {
  if (!node.is(Node::Kind::Register)) return Error::custom(kRegisterStateMismatch);
  write_if_newer(node, value, dot, editor);
  return {};
}

Status apply_one(Node& root, const CrdtPolicy& policy, const InternedOp& op, Editor& editor, AppliedAt& applied) {
  const bool keyed = op.kind == CrdtOp::Kind::MapSet || op.kind == CrdtOp::Kind::MapRemove;
  WW_TRY(check_target_policy(policy, TargetPath(*op.wire_path, keyed ? op.key : nullptr)));
  WW_TRY_ASSIGN(PolicyNode<Node> at, node_at_path_mut(root, policy, op.path, op.dot, editor));
  const CrdtPolicy& pol = *at.policy;
  Node& node = *at.node;
  applied.node = at.node;
  applied.policy = at.policy;
  std::string& member_key_out = applied.member_key;
  switch (op.kind) {
    case CrdtOp::Kind::RegisterSet:
      if (!pol.is(CrdtPolicy::Kind::Register)) return Error::custom(kRegisterSetNotRegister);
      return set_register(node, *op.value, op.dot, editor);
    case CrdtOp::Kind::MapSet: {
      EntryTable* map = node.map();
      if (map == nullptr) return Error::custom(kMapStateMismatch);
      const CrdtPolicy& child = pol.map()->child(*op.key);
      Entry& entry = editor.entry(*map, *op.key, child.kind());
      editor.add_dot(entry.dots, op.dot);
      return merge_value(entry.node, child, *op.value, op.dot, editor);
    }
    case CrdtOp::Kind::MapRemove: {
      EntryTable* map = node.map();
      if (map == nullptr) return Error::custom(kMapStateMismatch);
      Entry& entry = editor.entry(*map, *op.key, pol.map()->child(*op.key).kind());
      editor.add_dots(entry.removed, op.removed);
      editor.add_dot(entry.removal_ops, op.dot);
      return {};
    }
    case CrdtOp::Kind::SetAdd: {
      const SetPolicy* sp = pol.set();
      if (sp == nullptr) return Error::custom(kSetAddNotSet);
      EntryTable* set = node.set();
      if (set == nullptr) return Error::custom(kSetStateMismatch);
      WW_TRY_ASSIGN(member_key_out, member_key(sp->keys, *op.value));
      Entry& member = editor.entry(*set, member_key_out, sp->element->kind());
      editor.add_dot(member.dots, op.dot);
      return merge_value(member.node, *sp->element, *op.value, op.dot, editor);
    }
    case CrdtOp::Kind::SetRemove: {
      const SetPolicy* sp = pol.set();
      if (sp == nullptr) return Error::custom(kSetRemoveNotSet);
      EntryTable* set = node.set();
      if (set == nullptr) return Error::custom(kSetStateMismatch);
      Entry& member = editor.entry(*set, *op.key, sp->element->kind());
      editor.add_dots(member.removed, op.removed);
      editor.add_dot(member.removal_ops, op.dot);
      return {};
    }
    case CrdtOp::Kind::SequenceInsert: {
      const SequencePolicy* qp = pol.sequence();
      if (qp == nullptr) return Error::custom(kInsertNotSequence);
      SequenceNode* seq = node.sequence();
      if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
      return insert_values(*seq, *qp, op, editor);
    }
    case CrdtOp::Kind::SequenceDelete: {
      if (!pol.is(CrdtPolicy::Kind::Sequence)) return Error::custom(kDeleteNotSequence);
      SequenceNode* seq = node.sequence();
      if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
      for (const InternedElementId& id : op.ids) editor.add_delete(*seq, id, op.dot);
      return {};
    }
  }
  return {};
}

std::vector<InternedDot> live_dots_with(const InternedDotSet& dots, const Node& node, const ReplicaTable& replicas) {
  std::vector<InternedDot> out;
  dots.for_each([&](const InternedDot& d) { out.push_back(d); });
  collect_live(node, replicas, out);
  std::sort(out.begin(), out.end(), [&](const InternedDot& a, const InternedDot& b) { return replicas.less(a, b); });
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

Status write_delta(const InternedOp& op, const AppliedAt& at, const ReplicaTable& replicas, OrderSource order,
                   std::string& out) {
  static constexpr std::string_view kTags[] = {"register_set", "map_set",         "map_remove",     "set_add",
                                               "set_remove",   "sequence_insert", "sequence_delete"};
  // On an error the caller drops what was written.
  out.append("{\"kind\":\"");
  out.append(kTags[static_cast<std::size_t>(op.kind)]);
  out.append("\",\"path\":");
  write_crdt_path(*op.wire_path, out);
  switch (op.kind) {
    case CrdtOp::Kind::RegisterSet: break;
    case CrdtOp::Kind::SetAdd:
      out.append(",\"key\":");
      json::append_str(at.member_key, out);
      break;
    case CrdtOp::Kind::MapSet:
    case CrdtOp::Kind::MapRemove:
    case CrdtOp::Kind::SetRemove:
      out.append(",\"key\":");
      json::append_str(*op.key, out);
      break;
    case CrdtOp::Kind::SequenceInsert: {
      const SequencePolicy* qp = at.policy->sequence();
      const SequenceNode* seq = at.node->sequence();
      if (qp == nullptr) return Error::custom(kInsertNotSequence);
      if (seq == nullptr) return Error::custom(kSequenceStateMismatch);
      const bool plain_registers = qp->element->is(CrdtPolicy::Kind::Register);
      out.append(",\"after\":");
      if (op.after.none()) {
        out.append("null");
      } else {
        replicas.write(op.after, out);
      }
      out.append(",\"elements\":[");
      for (std::size_t i = 0; i < op.values->size(); ++i) {
        const InternedElementId id{op.dot.counter, op.dot.replica, static_cast<std::uint32_t>(i)};
        const std::uint32_t h = seq->find(id, replicas);
        if (h == kNoHandle || !seq->elements[h].node.present()) {
          return Error::custom("unknown sequence element " + replicas.debug(id));
        }
        const Node& node = seq->elements[h].node;
        if (i != 0) out.push_back(',');
        out.append("{\"id\":");
        replicas.write(id, out);
        out.append(",\"value\":");
        if (plain_registers && node.is(Node::Kind::Register)) {
          // As materialised: no dot is no value, a dot without value is Null.
          if (node.dot().none() || !node.value().present()) {
            out.append("\"Null\"");
          } else {
            node.value().write_json(out);
          }
        } else {
          WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(node, *qp->element, nullptr, replicas, order));
          write_value_json(v ? *v : Value::null(), out);
        }
        out.push_back('}');
      }
      out.push_back(']');
      break;
    }
    case CrdtOp::Kind::SequenceDelete:
      out.append(",\"ids\":[");
      for (std::size_t i = 0; i < op.ids.size(); ++i) {
        if (i != 0) out.push_back(',');
        replicas.write(op.ids[i], out);
      }
      out.push_back(']');
      break;
  }
  if (op.value != nullptr) {
    out.append(",\"value\":");
    write_value_json(*op.value, out);
  }
  out.push_back('}');
  return {};
}

}  // namespace ww::crdt::reducer
