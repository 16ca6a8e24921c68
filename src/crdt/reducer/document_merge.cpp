#include "crdt/reducer/document_merge.h"

#include <cstdint>
#include <string>

#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/member_key.h"

namespace ww::crdt::reducer {
namespace {

constexpr std::uint64_t kMaxElements = std::uint64_t{1} << 32;

// The length of the UTF-8 sequence that starts with `lead`.
std::size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

class Merger {
 public:
  Merger(const InternedDot& dot, Editor& editor) : dot_(dot), editor_(editor) {}

  Status node(Node& node, const CrdtPolicy& policy, const Value& value) {
    if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
    switch (node.kind()) {
      case Node::Kind::Register:
        write_if_newer(node, value, dot_, editor_);
        return {};
      case Node::Kind::Map: return map(*node.map(), *policy.map(), value);
      case Node::Kind::Set: return set(*node.set(), *policy.set(), value);
      case Node::Kind::Sequence: break;
    }
    return sequence(*node.sequence(), *policy.sequence(), value);
  }

 private:
  Status map(EntryTable& map, const MapPolicy& policy, const Value& value) {
    if (!value.is(Value::Kind::Map)) return Error::custom(kMapRequiresMap);
    for (const auto& [key, child] : value.as_map()) {
      const CrdtPolicy& child_policy = policy.child(key);
      Entry& entry = editor_.entry(map, key, child_policy.kind());
      editor_.add_dot(entry.dots, dot_);
      WW_TRY(node(entry.node, child_policy, child));
    }
    return {};
  }

  Status set(EntryTable& set, const SetPolicy& policy, const Value& value) {
    if (!value.is(Value::Kind::List)) return Error::custom(kSetRequiresList);
    for (const Value& element : value.as_list()) {
      WW_TRY_ASSIGN(std::string key, member_key(policy.keys, element));
      Entry& member = editor_.entry(set, key, policy.element->kind());
      editor_.add_dot(member.dots, dot_);
      WW_TRY(node(member.node, *policy.element, element));
    }
    return {};
  }

  Status sequence(SequenceNode& seq, const SequencePolicy& policy, const Value& value) {
    if (policy.materialization == SequenceMaterialization::List) {
      if (!value.is(Value::Kind::List)) return Error::custom(kListSequenceRequiresList);
      const Value::List& items = value.as_list();
      for (std::size_t i = 0; i < items.size(); ++i) WW_TRY(element(seq, policy, i, items[i]));
      return {};
    }
    if (!value.is(Value::Kind::Str)) return Error::custom(kStringSequenceRequiresString);
    const std::string& text = value.as_str();
    std::size_t i = 0;
    for (std::size_t at = 0; at < text.size(); ++i) {
      const std::size_t len = utf8_length(static_cast<unsigned char>(text[at]));
      WW_TRY(element(seq, policy, i, Value::str(text.substr(at, len))));
      at += len;
    }
    return {};
  }

  // Element i of a merged sequence: {dot, i}, chained after element i - 1.
  Status element(SequenceNode& seq, const SequencePolicy& policy, std::size_t i, const Value& value) {
    if (i >= kMaxElements) return Error::custom(kTooManyInitialElements);
    const auto index = static_cast<std::uint32_t>(i);
    const InternedElementId id{dot_.counter, dot_.replica, index};
    const std::uint32_t h = editor_.element(seq, id);
    InternedElementId after;
    if (index > 0) after = InternedElementId{dot_.counter, dot_.replica, index - 1};
    editor_.set_after(seq, h, after);
    Node& element_node = editor_.element_node(seq, h, policy.element->kind());
    WW_TRY(node(element_node, *policy.element, value));
    editor_.mark_inserted(seq, h);
    return {};
  }

  const InternedDot& dot_;
  Editor& editor_;
};

}  // namespace

Status merge_value(Node& node, const CrdtPolicy& policy, const Value& value, const InternedDot& dot, Editor& editor) {
  return Merger(dot, editor).node(node, policy, value);
}

void write_if_newer(Node& reg, const Value& value, const InternedDot& dot, Editor& editor) {
  if (!reg.dot().none() && editor.replicas().less(dot, reg.dot())) return;
  editor.write_register(reg, value, dot);
}

}  // namespace ww::crdt::reducer
