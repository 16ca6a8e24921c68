// Where one call changed the materialised value, and what stood there
// before, so that the call's patch is the diff of the changed places only.
//
// The places are reached from the root through map keys. The diff of two
// maps is the diff of each key in turn (new and common keys in order, then
// the removals), and an unchanged key adds nothing to it unless it holds a
// NaN, which the caller rules out; so diffing only the changed places gives
// the same patch as diffing the whole values.
#pragma once

#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "diff/patch.h"
#include "value/value.h"

namespace ww::crdt::reducer {

class ChangeTrie {
 public:
  // Records the value at `keys` before its first change in this call;
  // `current` is the value there now (nullptr: the key is absent). Inside a
  // place already recorded, nothing more is needed.
  void save(const std::vector<const std::string*>& keys, const Value* current);

  // One element of the list at `keys` changes: an insertion at `index`, or
  // a replacement of `old_element` there. Recorded without copying the
  // list; `list` is the list before this change.
  struct ListEdit {
    std::size_t index;
    std::optional<Value> old_element;  // none: an insertion
  };
  void save_list_edit(const std::vector<const std::string*>& keys, const Value& list, ListEdit edit);

  // The string at `keys` changes in one span: `old_size` bytes at `offset`
  // give way to `new_size` bytes. Recorded without copying the string;
  // `str` is the string before this change.
  struct StringEdit {
    std::size_t offset;
    std::string old_text;
    std::size_t new_size;
  };
  void save_string_edit(const std::vector<const std::string*>& keys, const Value& str, std::size_t offset,
                        std::size_t old_size, std::size_t new_size);

  // Appends the operations that turn the value before the call into
  // `current`, as the patch's JSON array elements (each with its comma but
  // the first, `first` telling), without copying the values they carry.
  void write_diff(const Value& current, std::string& out, bool& first) const;

 private:
  struct Node {
    bool saved = false;
    std::optional<Value> old;  // when saved: the value before, none when absent
    std::optional<ListEdit> edit;  // when saved: the one change of a list, `old` unused
    std::optional<StringEdit> text_edit;  // when saved: the one change of a string, `old` unused
    // By key, ascending: a call touches few places.
    std::vector<std::pair<std::string, Node>> below;

    Node& child(const std::string& key);
  };
  static void restore(Value& value, const Node& node);
  // The list before `edit`, from the list after it.
  static Value undo(const Value& list, const ListEdit& edit);
  static Value undo(const Value& str, const StringEdit& edit);
  // Whether the node holds one change of a list or string, not the value before.
  static bool holds_edit(const Node& node) { return node.edit || node.text_edit; }
  class Steps;
  class Writer;
  static void diff_list_edit(const Node& node, Steps& path, const Value& current, Writer& w);
  Node* place(const std::vector<const std::string*>& keys);
  static void diff_node(const Node& node, Steps& path, const Value* current, Writer& w);

  Node root_;
};

}  // namespace ww::crdt::reducer
