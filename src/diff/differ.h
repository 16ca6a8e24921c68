// The diff's working state: the output list and the path of the value being
// diffed, kept as a stack of borrowed steps so that descending into a child
// costs no allocation; a real Path is built only for an emitted operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diff/patch.h"
#include "value/value.h"

namespace ww::diff {

class Differ {
 public:
  Differ(const Path& base, std::vector<Op>& ops) : base_(base), ops_(ops) {}

  void value(const Value& old_value, const Value& new_value);
  void map(const Value::Map& old_map, const Value::Map& new_map);
  void list(const Value::List& old_list, const Value::List& new_list);
  void positional(const Value::List& old_list, const Value::List& new_list);

 private:
  struct Step {
    const std::string* key;  // nullptr for an index step
    std::uint64_t index;
  };

  void push_key(const std::string& key) { steps_.push_back({&key, 0}); }
  void push_index(std::uint64_t index) { steps_.push_back({nullptr, index}); }
  void pop() { steps_.pop_back(); }

  // The current path, optionally with one more step.
  Path here() const;
  Path here_key(const std::string& key) const;
  Path here_index(std::uint64_t index) const;

  void emit(Op op) { ops_.push_back(std::move(op)); }

  const Path& base_;
  std::vector<Op>& ops_;
  std::vector<Step> steps_;
};

// Equal, and also the same content key: like ==, but Float zeros of
// different sign differ. Such values always serialise to the same bytes.
bool identical(const Value& a, const Value& b);

}  // namespace ww::diff
