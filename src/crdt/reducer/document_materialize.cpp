#include "crdt/reducer/document_materialize.h"

#include <utility>

#include "crdt/reducer/document_messages.h"

namespace ww::crdt::reducer {
namespace {

std::size_t scalar_count(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

class Materializer {
 public:
  Materializer(const ReplicaTable& replicas, OrderSource order) : replicas_(replicas), order_(order) {}

  Result<std::optional<Value>> node(const Node& node, const CrdtPolicy& policy, const RemovedChain* removed) {
    if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
    switch (node.kind()) {
      case Node::Kind::Register: return register_(node, removed);
      case Node::Kind::Map: return map(*node.map(), *policy.map(), removed);
      case Node::Kind::Set: return set(*node.set(), *policy.set(), removed);
      case Node::Kind::Sequence: break;
    }
    return sequence(*node.sequence(), *policy.sequence(), removed);
  }

 private:
  std::optional<Value> register_(const Node& reg, const RemovedChain* removed) const {
    if (reg.dot().none() || removed_contains(removed, reg.dot(), replicas_)) return std::nullopt;
    return reg.value().present() ? reg.value().get() : Value::null();
  }

  Result<std::optional<Value>> map(const EntryTable& map, const MapPolicy& policy, const RemovedChain* removed) {
    Value::Map out;
    Status status;
    map.for_each([&](const Entry& entry) {
      if (!status.ok()) return;
      RemovedChain link{};
      const RemovedChain* r = extend_removed(removed, entry.removed, link);
      if (all_removed(entry.dots, r, replicas_)) return;
      Result<std::optional<Value>> v = node(entry.node, policy.child(entry.key), r);
      if (!v.ok()) {
        status = v.take_error();
        return;
      }
      out.emplace_hint(out.end(), entry.key, *v ? std::move(**v) : Value::null());
    });
    if (!status.ok()) return status.take_error();
    return std::optional<Value>(Value::map(std::move(out)));
  }

  Result<std::optional<Value>> set(const EntryTable& set, const SetPolicy& policy, const RemovedChain* removed) {
    Value::List out;
    Status status;
    set.for_each([&](const Entry& member) {
      if (!status.ok()) return;
      RemovedChain link{};
      const RemovedChain* r = extend_removed(removed, member.removed, link);
      if (all_removed(member.dots, r, replicas_)) return;
      Result<std::optional<Value>> v = node(member.node, *policy.element, r);
      if (!v.ok()) {
        status = v.take_error();
        return;
      }
      if (*v) out.push_back(std::move(**v));
    });
    if (!status.ok()) return status.take_error();
    return std::optional<Value>(Value::list(std::move(out)));
  }

  Result<std::optional<Value>> sequence(const SequenceNode& seq, const SequencePolicy& policy,
                                        const RemovedChain* removed) {
    const bool as_string = policy.materialization == SequenceMaterialization::String;
    const CrdtPolicy& element = *policy.element;
    Value::List values;
    std::string text;
    // A string's element checks come after every element has materialised.
    std::optional<Error> bad_string;
    auto* kept = order_ == OrderSource::Live ? const_cast<SequenceNode*>(&seq) : nullptr;
    if (kept != nullptr) kept->order.take_relaid();

    // What the element adds to the value: 1 in a list, its UTF-8 length in a string.
    auto visit = [&](std::uint32_t h) -> Result<std::uint8_t> {
      const Element& e = seq.elements[h];
      std::uint8_t shown = 0;
      if (e.node.present() && !e.deleted && !removed_contains(removed, e.id.dot(), replicas_)) {
        if (as_string && e.node.is(Node::Kind::Register) && element.is(CrdtPolicy::Kind::Register)) {
          // The common element: a register holding one character.
          const Node& reg = e.node;
          if (!reg.dot().none() && !removed_contains(removed, reg.dot(), replicas_)) {
            shown = 1;
            if (bad_string) {
            } else if (!reg.value().present() || reg.value().kind() != Value::Kind::Str) {
              bad_string = Error::custom(kStringElementNotString);
            } else if (scalar_count(reg.value().str()) != 1) {
              bad_string = Error::custom(kStringElementNotOneScalar);
            } else {
              text.append(reg.value().str());
              shown = static_cast<std::uint8_t>(reg.value().str().size());
            }
          }
        } else {
          WW_TRY_ASSIGN(std::optional<Value> v, node(e.node, element, removed));
          if (v) {
            shown = 1;
            if (!as_string) {
              values.push_back(std::move(*v));
            } else if (!bad_string) {
              Status ok = check_string_element(*v);
              if (!ok.ok()) {
                bad_string = ok.take_error();
              } else {
                text.append(v->as_str());
                shown = static_cast<std::uint8_t>(v->as_str().size());
              }
            }
          }
        }
      }
      return shown;
    };

    if (order_ == OrderSource::Walk) {
      for (std::uint32_t h : walk_sequence_order(seq, replicas_)) WW_TRY(visit(h));
    } else {
      for (auto c = seq.order.begin(); !seq.order.at_end(c); c = seq.order.next(c)) {
        WW_TRY_ASSIGN(std::uint8_t shown, visit(seq.order.handle(c)));
        if (kept != nullptr) kept->order.set_shown(c, shown);
      }
    }
    if (bad_string) return std::move(*bad_string);
    if (as_string) return std::optional<Value>(Value::str(std::move(text)));
    return std::optional<Value>(Value::list(std::move(values)));
  }

  const ReplicaTable& replicas_;
  OrderSource order_;
};

}  // namespace

Result<std::optional<Value>> materialize_filtered(const Node& node, const CrdtPolicy& policy,
                                                  const RemovedChain* removed, const ReplicaTable& replicas,
                                                  OrderSource order) {
  return Materializer(replicas, order).node(node, policy, removed);
}

Result<Value> materialize_node(const Node& node, const CrdtPolicy& policy, const ReplicaTable& replicas,
                               OrderSource order) {
  WW_TRY_ASSIGN(std::optional<Value> v, materialize_filtered(node, policy, nullptr, replicas, order));
  if (!v) return Error::custom(kRootRemoved);
  return std::move(*v);
}

std::vector<std::uint32_t> walk_sequence_order(const SequenceNode& seq, const ReplicaTable& replicas) {
  auto less = [&](const InternedElementId& a, const InternedElementId& b) { return replicas.less(a, b); };
  std::map<InternedElementId, std::vector<std::uint32_t>, decltype(less)> children_by_anchor(less);
  for (const IdHandle& ih : seq.ids) {
    const Element& e = seq.elements[ih.handle];
    if (e.inserted) children_by_anchor[e.after].push_back(ih.handle);
  }
  std::vector<char> visited(seq.elements.size(), 0);
  std::vector<std::uint32_t> out;
  out.reserve(seq.elements.size());
  auto append_children = [&](const InternedElementId& anchor) {
    auto first = children_by_anchor.find(anchor);
    if (first == children_by_anchor.end()) return;
    std::vector<std::uint32_t> stack = first->second;
    while (!stack.empty()) {
      const std::uint32_t h = stack.back();
      stack.pop_back();
      if (visited[h]) continue;
      visited[h] = 1;
      out.push_back(h);
      auto children = children_by_anchor.find(seq.elements[h].id);
      if (children != children_by_anchor.end()) stack.insert(stack.end(), children->second.begin(), children->second.end());
    }
  };
  append_children(InternedElementId{});
  for (const IdHandle& ih : seq.ids) {
    const Element& e = seq.elements[ih.handle];
    if (!e.inserted || visited[ih.handle]) continue;
    visited[ih.handle] = 1;
    out.push_back(ih.handle);
    append_children(e.id);
  }
  return out;
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

bool node_yields(const Node& node, const RemovedChain* removed, const ReplicaTable& replicas) {
  if (!node.is(Node::Kind::Register)) return true;
  return !node.dot().none() && !removed_contains(removed, node.dot(), replicas);
}

}  // namespace ww::crdt::reducer
