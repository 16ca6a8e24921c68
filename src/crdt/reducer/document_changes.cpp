#include "crdt/reducer/document_changes.h"

#include <utility>

#include "diff/diff.h"

namespace ww::crdt::reducer {

void ChangeTrie::save(const std::vector<const std::string*>& keys, const Value* current) {
  Node* node = &root_;
  for (const std::string* key : keys) {
    if (node->saved) return;
    node = &node->below[*key];
  }
  if (node->saved) return;
  node->saved = true;
  if (current == nullptr) {
    node->below.clear();
    return;
  }
  node->old = *current;
  // Places below recorded earlier hold what stood there before.
  restore(*node->old, *node);
  node->below.clear();
}

void ChangeTrie::restore(Value& value, const Node& node) {
  if (node.below.empty() || !value.is(Value::Kind::Map)) return;
  Value::Map& map = value.as_map();
  for (const auto& [key, child] : node.below) {
    if (!child.saved) {
      auto it = map.find(key);
      if (it != map.end()) restore(it->second, child);
    } else if (child.old) {
      map.insert_or_assign(key, *child.old);
    } else {
      map.erase(key);
    }
  }
}

void ChangeTrie::diff(const Value& current, std::vector<Op>& ops) const {
  Path path;
  diff_node(root_, path, &current, ops);
}

void ChangeTrie::diff_node(const Node& node, Path& path, const Value* current, std::vector<Op>& ops) {
  if (node.saved) {
    if (node.old && current != nullptr) {
      diff::diff_value(path, *node.old, *current, ops);
    } else if (current != nullptr) {
      ops.push_back(Op::Set{path, *current});
    } else if (node.old) {
      ops.push_back(Op::Remove{path});
    }
    return;
  }
  if (node.below.empty() || current == nullptr || !current->is(Value::Kind::Map)) return;
  const Value::Map& map = current->as_map();
  // As the map diff does: the keys present now, in order, then the removals.
  for (const auto& [key, child] : node.below) {
    auto it = map.find(key);
    if (it == map.end()) continue;
    path.push_back(PathSeg::key(key));
    diff_node(child, path, &it->second, ops);
    path.pop_back();
  }
  for (const auto& [key, child] : node.below) {
    if (map.contains(key)) continue;
    if (child.saved && !child.old) continue;
    path.push_back(PathSeg::key(key));
    ops.push_back(Op::Remove{path});
    path.pop_back();
  }
}

}  // namespace ww::crdt::reducer
