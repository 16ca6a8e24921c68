#include "crdt/reducer/document_merge.h"

#include <cstdint>
#include <optional>

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
  Merger(const Dot& dot, Editor& editor) : dot_(dot), editor_(editor) {}

  Status node(NodeState& node, const CrdtPolicy& policy, const Value& value) {
    if (node.kind() != policy.kind()) return Error::custom(kIncompatibleState);
    switch (node.kind()) {
      case NodeState::Kind::Register:
        write_if_newer(*node.register_(), value, dot_, editor_);
        return {};
      case NodeState::Kind::Map: return map(*node.map(), *policy.map(), value);
      case NodeState::Kind::Set: return set(*node.set(), *policy.set(), value);
      case NodeState::Kind::Sequence: break;
    }
    return sequence(*node.sequence(), *policy.sequence(), value);
  }

 private:
  Status map(MapState& map, const MapPolicy& policy, const Value& value) {
    if (!value.is(Value::Kind::Map)) return Error::custom(kMapRequiresMap);
    for (const auto& [key, child] : value.as_map()) {
      const CrdtPolicy& child_policy = policy.child(key);
      MapEntryState& entry = editor_.map_entry(map, key, child_policy.kind());
      editor_.add_dot(entry.dots, dot_);
      WW_TRY(node(entry.node, child_policy, child));
    }
    return {};
  }

  Status set(SetState& set, const SetPolicy& policy, const Value& value) {
    if (!value.is(Value::Kind::List)) return Error::custom(kSetRequiresList);
    for (const Value& element : value.as_list()) {
      WW_TRY_ASSIGN(std::string key, member_key(policy.keys, element));
      SetEntryState& member = editor_.set_member(set, key, policy.element->kind());
      editor_.add_dot(member.adds, dot_);
      WW_TRY(node(member.node, *policy.element, element));
    }
    return {};
  }

  Status sequence(SequenceState& seq, const SequencePolicy& policy, const Value& value) {
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
  Status element(SequenceState& seq, const SequencePolicy& policy, std::size_t i, const Value& value) {
    if (i >= kMaxElements) return Error::custom(kTooManyInitialElements);
    const auto index = static_cast<std::uint32_t>(i);
    SequenceEntry& entry = editor_.sequence_entry(seq, ElementId{dot_, index});
    std::optional<ElementId> after;
    if (index > 0) after = ElementId{dot_, index - 1};
    editor_.set_after(seq, entry, after);
    NodeState& element_node = editor_.element_node(entry, policy.element->kind());
    WW_TRY(node(element_node, *policy.element, value));
    editor_.mark_inserted(seq, entry);
    return {};
  }

  const Dot& dot_;
  Editor& editor_;
};

}  // namespace

Status merge_value(NodeState& node, const CrdtPolicy& policy, const Value& value, const Dot& dot) {
  Editor editor(nullptr, nullptr);
  return merge_value(node, policy, value, dot, editor);
}

Status merge_value(NodeState& node, const CrdtPolicy& policy, const Value& value, const Dot& dot, Editor& editor) {
  return Merger(dot, editor).node(node, policy, value);
}

void write_if_newer(RegisterState& reg, const Value& value, const Dot& dot, Editor& editor) {
  if (reg.dot && dot < *reg.dot) return;
  editor.write_register(reg, value, dot);
}

}  // namespace ww::crdt::reducer
