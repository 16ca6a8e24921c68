#include "crdt/reducer/document_materialize.h"

#include <utility>

#include "crdt/reducer/document_messages.h"

namespace ww::crdt::reducer {
namespace {

std::size_t scalar_count(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

class Materializer {
 public:
  explicit Materializer(SequenceViews* views) : views_(views) {}

  Result<std::optional<Value>> node(const NodeState& node, const CrdtPolicy& policy, const RemovedChain* removed) {
    if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
    switch (node.kind()) {
      case NodeState::Kind::Register: return register_(*node.register_(), removed);
      case NodeState::Kind::Map: return map(*node.map(), *policy.map(), removed);
      case NodeState::Kind::Set: return set(*node.set(), *policy.set(), removed);
      case NodeState::Kind::Sequence: break;
    }
    return sequence(*node.sequence(), *policy.sequence(), removed);
  }

 private:
  static std::optional<Value> register_(const RegisterState& reg, const RemovedChain* removed) {
    if (!reg.dot || removed_contains(removed, *reg.dot)) return std::nullopt;
    return reg.value ? *reg.value : Value::null();
  }

  Result<std::optional<Value>> map(const MapState& map, const MapPolicy& policy, const RemovedChain* removed) {
    Value::Map out;
    for (const auto& [key, entry] : map.entries) {
      RemovedChain link{};
      const RemovedChain* r = extend_removed(removed, entry.removed, link);
      if (all_removed(entry.dots, r)) continue;
      WW_TRY_ASSIGN(std::optional<Value> v, node(entry.node, policy.child(key), r));
      out.emplace_hint(out.end(), key, v ? std::move(*v) : Value::null());
    }
    return std::optional<Value>(Value::map(std::move(out)));
  }

  Result<std::optional<Value>> set(const SetState& set, const SetPolicy& policy, const RemovedChain* removed) {
    Value::List out;
    for (const auto& [key, member] : set.entries) {
      RemovedChain link{};
      const RemovedChain* r = extend_removed(removed, member.removed, link);
      if (all_removed(member.adds, r)) continue;
      WW_TRY_ASSIGN(std::optional<Value> v, node(member.node, *policy.element, r));
      if (v) out.push_back(std::move(*v));
    }
    return std::optional<Value>(Value::list(std::move(out)));
  }

  Result<std::optional<Value>> sequence(const SequenceState& seq, const SequencePolicy& policy,
                                        const RemovedChain* removed) {
    const bool as_string = policy.materialization == SequenceMaterialization::String;
    Value::List values;
    SequenceView view;
    if (views_ != nullptr) {
      view = build_sequence_view(seq);
      for (SequenceSlot& slot : view.slots) {
        WW_TRY_ASSIGN(std::optional<Value> v, element(seq, *slot.entry, *policy.element, removed));
        if (!v) continue;
        slot.shown = as_string && v->is(Value::Kind::Str) ? static_cast<std::uint32_t>(v->as_str().size()) : 1;
        values.push_back(std::move(*v));
      }
    } else {
      for (const ElementId& id : ordered_sequence_ids(seq.entries)) {
        WW_TRY_ASSIGN(std::optional<Value> v, element(seq, *seq.entries.find(id), *policy.element, removed));
        if (v) values.push_back(std::move(*v));
      }
    }
    if (!as_string) {
      if (views_ != nullptr) views_->put(&seq, std::move(view));
      return std::optional<Value>(Value::list(std::move(values)));
    }
    std::string text;
    for (const Value& v : values) {
      WW_TRY(check_string_element(v));
      text.append(v.as_str());
    }
    if (views_ != nullptr) views_->put(&seq, std::move(view));
    return std::optional<Value>(Value::str(std::move(text)));
  }

  Result<std::optional<Value>> element(const SequenceState& seq, const SequenceEntry& entry,
                                       const CrdtPolicy& policy, const RemovedChain* removed) {
    const auto& [id, e] = entry;
    if (!e.node || seq.deletes.contains(id) || removed_contains(removed, id.dot)) return std::optional<Value>();
    return node(*e.node, policy, removed);
  }

  SequenceViews* views_;
};

}  // namespace

Result<Value> materialize_node(const NodeState& node, const CrdtPolicy& policy) {
  WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(node, policy, nullptr, nullptr));
  if (!v) return Error::custom(kRootRemoved);
  return std::move(*v);
}

Result<std::optional<Value>> materialize_node_filtered(const NodeState& node, const CrdtPolicy& policy,
                                                       const DotSet& inherited_removed) {
  RemovedChain link{};
  return materialize_filtered(node, policy, extend_removed(nullptr, inherited_removed, link), nullptr);
}

Result<std::optional<Value>> materialize_filtered(const NodeState& node, const CrdtPolicy& policy,
                                                  const RemovedChain* removed, SequenceViews* views) {
  return Materializer(views).node(node, policy, removed);
}

std::vector<ElementId> ordered_sequence_ids(const std::map<ElementId, SequenceEntryState>& entries) {
  std::map<std::optional<ElementId>, std::vector<ElementId>> children_by_anchor;
  for (const auto& [id, e] : entries) {
    if (e.inserted) children_by_anchor[e.after].push_back(id);
  }
  std::set<ElementId> visited;
  std::vector<ElementId> out;
  out.reserve(entries.size());
  append_sequence_children(std::nullopt, children_by_anchor, visited, out);
  // Then what the start does not reach, in ascending order.
  for (const auto& [id, e] : entries) {
    if (!e.inserted || visited.contains(id)) continue;
    visited.insert(id);
    out.push_back(id);
    append_sequence_children(id, children_by_anchor, visited, out);
  }
  return out;
}

void append_sequence_children(const std::optional<ElementId>& anchor,
                              const std::map<std::optional<ElementId>, std::vector<ElementId>>& children_by_anchor,
                              std::set<ElementId>& visited, std::vector<ElementId>& out) {
  auto first = children_by_anchor.find(anchor);
  if (first == children_by_anchor.end()) return;
  std::vector<ElementId> stack = first->second;
  while (!stack.empty()) {
    ElementId id = std::move(stack.back());
    stack.pop_back();
    if (visited.contains(id)) continue;
    visited.insert(id);
    out.push_back(id);
    auto children = children_by_anchor.find(std::optional<ElementId>(id));
    if (children != children_by_anchor.end()) stack.insert(stack.end(), children->second.begin(), children->second.end());
  }
}

Status check_string_element(const Value& value) {
  if (!value.is(Value::Kind::Str)) return Error::custom(kStringElementNotString);
  if (scalar_count(value.as_str()) != 1) return Error::custom(kStringElementNotOneScalar);
  return {};
}

bool node_yields(const NodeState& node, const RemovedChain* removed) {
  const RegisterState* reg = node.register_();
  if (reg == nullptr) return true;
  return reg->dot && !removed_contains(removed, *reg->dot);
}

}  // namespace ww::crdt::reducer
