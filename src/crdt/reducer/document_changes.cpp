#include "crdt/reducer/document_changes.h"

#include <algorithm>
#include <utility>

#include "diff/diff.h"
#include "diff/patch_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {

ChangeTrie::Node& ChangeTrie::Node::child(const std::string& key) {
  auto it = std::lower_bound(below.begin(), below.end(), key,
                             [](const std::pair<std::string, Node>& e, const std::string& k) { return e.first < k; });
  if (it == below.end() || it->first != key) it = below.emplace(it, key, Node{});
  return it->second;
}

ChangeTrie::Node* ChangeTrie::place(const std::vector<const std::string*>& keys) {
  Node* node = &root_;
  for (const std::string* key : keys) {
    if (node->saved) return nullptr;
    node = &node->child(*key);
  }
  return node;
}

void ChangeTrie::save_list_edit(const std::vector<const std::string*>& keys, const Value& list, ListEdit edit) {
  Node* node = place(keys);
  if (node == nullptr) return;
  if (!node->saved && node->below.empty()) {
    node->saved = true;
    node->edit = std::move(edit);
  } else {
    save(keys, &list);
  }
}

void ChangeTrie::save_string_edit(const std::vector<const std::string*>& keys, const Value& str, std::size_t offset,
                                  std::size_t old_size, std::size_t new_size) {
  Node* node = place(keys);
  if (node == nullptr) return;
  if (!node->saved && node->below.empty()) {
    node->saved = true;
    node->text_edit = StringEdit{offset, str.as_str().substr(offset, old_size), new_size};
  } else {
    save(keys, &str);
  }
}

Value ChangeTrie::undo(const Value& str, const StringEdit& edit) {
  std::string before = str.as_str();
  before.replace(edit.offset, edit.new_size, edit.old_text);
  return Value::str(std::move(before));
}

Value ChangeTrie::undo(const Value& list, const ListEdit& edit) {
  Value before = list;
  Value::List& items = before.as_list();
  if (edit.old_element) {
    items[edit.index] = *edit.old_element;
  } else {
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(edit.index));
  }
  return before;
}

void ChangeTrie::save(const std::vector<const std::string*>& keys, const Value* current) {
  Node* node = place(keys);
  if (node == nullptr) return;
  if (node->saved) {
    // A list changed once so far: now its whole former value is needed.
    if (node->edit) {
      node->old = undo(*current, *node->edit);
      node->edit.reset();
    }
    // A string changed once so far: likewise.
    if (node->text_edit) {
      node->old = undo(*current, *node->text_edit);
      node->text_edit.reset();
    }
    return;
  }
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
    } else if (child.edit) {
      auto it = map.find(key);
      if (it != map.end()) it->second = undo(it->second, *child.edit);
    } else if (child.text_edit) {
      auto it = map.find(key);
      if (it != map.end()) it->second = undo(it->second, *child.text_edit);
    } else if (child.old) {
      map.insert_or_assign(key, *child.old);
    } else {
      map.erase(key);
    }
  }
}

// The path at hand: map keys (borrowed) and list indexes, written as JSON
// straight from them; a Path is made only for a structural diff.
class ChangeTrie::Steps {
 public:
  void push_key(const std::string& key) { steps_.push_back(Step{&key, 0}); }
  void push_index(std::uint64_t index) { steps_.push_back(Step{nullptr, index}); }
  void pop() { steps_.pop_back(); }

  void write_json(std::string& out) const {
    out.push_back('[');
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (i != 0) out.push_back(',');
      if (steps_[i].key != nullptr) {
        out.append("{\"Key\":");
        json::append_str(*steps_[i].key, out);
      } else {
        out.append("{\"Index\":");
        json::append_u64(steps_[i].index, out);
      }
      out.push_back('}');
    }
    out.push_back(']');
  }
  Path path() const {
    Path out;
    out.reserve(steps_.size());
    for (const Step& s : steps_) out.push_back(s.key != nullptr ? PathSeg::key(*s.key) : PathSeg::index(s.index));
    return out;
  }

 private:
  struct Step {
    const std::string* key;
    std::uint64_t index;
  };
  std::vector<Step> steps_;
};

// Writes patch operations as their JSON text; values are borrowed.
class ChangeTrie::Writer {
 public:
  Writer(std::string& out, bool& first) : out_(out), first_(first) {}

  void set(const Steps& path, const Value& value) {
    open("{\"Set\":{\"path\":", path);
    out_.append(",\"value\":");
    write_value_json(value, out_);
    out_.append("}}");
  }
  void remove(const Steps& path) {
    open("{\"Remove\":{\"path\":", path);
    out_.append("}}");
  }
  void insert(const Steps& path, std::uint64_t index, const Value& value) {
    open("{\"Insert\":{\"path\":", path);
    out_.append(",\"index\":");
    json::append_u64(index, out_);
    out_.append(",\"value\":");
    write_value_json(value, out_);
    out_.append("}}");
  }
  // The structural diff of two values: what Differ::value emits, the
  // values of a plain Set borrowed.
  void diff(const Steps& path, const Value& before, const Value& after) {
    const bool maps = before.is(Value::Kind::Map) && after.is(Value::Kind::Map);
    const bool lists = before.is(Value::Kind::List) && after.is(Value::Kind::List);
    if (!maps && !lists) {
      if (!(before == after)) set(path, after);
      return;
    }
    std::vector<Op> ops;
    diff::diff_value(path.path(), before, after, ops);
    for (const Op& op : ops) {
      comma();
      write_op_json(op, out_);
    }
  }

 private:
  void comma() {
    if (!first_) out_.push_back(',');
    first_ = false;
  }
  void open(const char* head, const Steps& path) {
    comma();
    out_.append(head);
    path.write_json(out_);
  }

  std::string& out_;
  bool& first_;
};

void ChangeTrie::write_diff(const Value& current, std::string& out, bool& first) const {
  Steps path;
  Writer w(out, first);
  diff_node(root_, path, &current, w);
}

// The list diff of two lists that differ in one element, in the cases
// where its walk is known: an insertion of a value that no later element
// equals is one Insert; a replacement where neither value equals a later
// element is the diff of the two elements at that index (none when they
// are equal). Otherwise the list before is rebuilt and diffed.
void ChangeTrie::diff_list_edit(const Node& node, Steps& path, const Value& current, Writer& w) {
  const ListEdit& edit = *node.edit;
  const Value::List& items = current.as_list();
  const Value& now = items[edit.index];
  auto later_equal = [&](const Value& v) {
    for (std::size_t i = edit.index + 1; i < items.size(); ++i) {
      if (items[i] == v) return true;
    }
    return false;
  };
  if (!edit.old_element) {
    if (!later_equal(now)) {
      w.insert(path, edit.index, now);
      return;
    }
  } else if (*edit.old_element == now) {
    return;
  } else if (!later_equal(now) && !later_equal(*edit.old_element)) {
    path.push_index(edit.index);
    w.diff(path, *edit.old_element, now);
    path.pop();
    return;
  }
  w.diff(path, undo(current, edit), current);
}

void ChangeTrie::diff_node(const Node& node, Steps& path, const Value* current, Writer& w) {
  if (node.saved && node.edit) {
    if (current != nullptr) diff_list_edit(node, path, *current, w);
    return;
  }
  if (node.saved && node.text_edit) {
    // Two strings differ, and are then Set, unless the span came back as it was.
    if (current == nullptr) return;
    const StringEdit& edit = *node.text_edit;
    const std::string& now = current->as_str();
    if (edit.old_text.size() != edit.new_size || now.compare(edit.offset, edit.new_size, edit.old_text) != 0) {
      w.set(path, *current);
    }
    return;
  }
  if (node.saved) {
    if (node.old && current != nullptr) {
      w.diff(path, *node.old, *current);
    } else if (current != nullptr) {
      w.set(path, *current);
    } else if (node.old) {
      w.remove(path);
    }
    return;
  }
  if (node.below.empty() || current == nullptr || !current->is(Value::Kind::Map)) return;
  const Value::Map& map = current->as_map();
  // As the map diff does: the keys present now, in order, then the removals.
  for (const auto& [key, child] : node.below) {
    auto it = map.find(key);
    if (it == map.end()) continue;
    path.push_key(key);
    diff_node(child, path, &it->second, w);
    path.pop();
  }
  for (const auto& [key, child] : node.below) {
    if (map.contains(key)) continue;
    if (child.saved && !child.old && !holds_edit(child)) continue;
    path.push_key(key);
    w.remove(path);
    path.pop();
  }
}

}  // namespace ww::crdt::reducer
