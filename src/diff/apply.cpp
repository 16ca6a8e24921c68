#include "diff/apply.h"

#include <algorithm>
#include <string>
#include <utility>

#include "format/debug_text.h"

namespace ww::diff {
namespace {

Error fail(std::string text) { return Error::custom(std::move(text)); }

std::string num(std::uint64_t n) { return std::to_string(n); }

Error expected_kind(const char* kind, const Value& found) {
  std::string text("expected Value::");
  text.append(kind);
  text.append(", found ");
  append_debug(found, text);
  return Error::custom(std::move(text));
}

Result<Value::Map*> as_map(Value& v) {
  if (!v.is(Value::Kind::Map)) return expected_kind("Map", v);
  return &v.as_map();
}

Result<Value::List*> as_list(Value& v) {
  if (!v.is(Value::Kind::List)) return expected_kind("List", v);
  return &v.as_list();
}

// The list that the whole path names.
Result<Value::List*> target_list(Value& root, const Path& path) {
  WW_TRY_ASSIGN(Value* target, value_at_mut(root, path));
  return as_list(*target);
}

// The value that names the path's last step.
Result<Value*> parent_of(Value& root, const Path& path) {
  return value_at_mut(root, std::span<const PathSeg>(path).first(path.size() - 1));
}

auto at(Value::List& list, std::uint64_t i) { return list.begin() + static_cast<std::ptrdiff_t>(i); }

Status apply_set(Value& root, const Op::Set& op) {
  if (op.path.empty()) {
    root = op.value;
    return {};
  }
  WW_TRY_ASSIGN(Value* parent, parent_of(root, op.path));
  const PathSeg& last = op.path.back();
  if (last.is_key()) {
    WW_TRY_ASSIGN(Value::Map* map, as_map(*parent));
    (*map)[last.as_key()] = op.value;
    return {};
  }
  WW_TRY_ASSIGN(Value::List* list, as_list(*parent));
  if (last.as_index() >= list->size()) {
    return fail("set index " + num(last.as_index()) + " out of bounds");
  }
  (*list)[last.as_index()] = op.value;
  return {};
}

Status apply_remove(Value& root, const Op::Remove& op) {
  if (op.path.empty()) return fail("remove path is empty");
  WW_TRY_ASSIGN(Value* parent, parent_of(root, op.path));
  const PathSeg& last = op.path.back();
  if (last.is_key()) {
    WW_TRY_ASSIGN(Value::Map* map, as_map(*parent));
    auto it = map->find(last.as_key());
    if (it != map->end()) map->erase(it);  // an absent key is already removed
    return {};
  }
  // Only patches from elsewhere remove by index; it acts as RemoveAt.
  WW_TRY_ASSIGN(Value::List* list, as_list(*parent));
  const std::uint64_t i = last.as_index();
  if (i >= list->size()) {
    return fail("remove index " + num(i) + " out of bounds (len " + num(list->size()) + ")");
  }
  list->erase(at(*list, i));
  return {};
}

Status apply_insert(Value& root, const Op::Insert& op) {
  WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
  if (op.index > list->size()) {
    return fail("insert index " + num(op.index) + " out of bounds (len " + num(list->size()) + ")");
  }
  list->insert(at(*list, op.index), op.value);
  return {};
}

Status apply_remove_at(Value& root, const Op::RemoveAt& op) {
  WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
  if (op.index >= list->size()) {
    return fail("remove index " + num(op.index) + " out of bounds (len " + num(list->size()) + ")");
  }
  list->erase(at(*list, op.index));
  return {};
}

Status apply_move(Value& root, const Op::Move& op) {
  WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
  const std::uint64_t len = list->size();
  if (op.from >= len) {
    return fail("move source index " + num(op.from) + " out of bounds (len " + num(len) + ")");
  }
  if (op.to >= len) {
    return fail("move destination index " + num(op.to) + " out of bounds (len " + num(len) + ")");
  }
  // Taking the element out and putting it back at `to` of the shortened
  // list is one rotation of the range between the two positions.
  if (op.from < op.to) {
    std::rotate(at(*list, op.from), at(*list, op.from + 1), at(*list, op.to + 1));
  } else if (op.to < op.from) {
    std::rotate(at(*list, op.to), at(*list, op.from), at(*list, op.from + 1));
  }
  return {};
}

Status apply_reorder(Value& root, const Op::Reorder& op) {
  WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
  const std::uint64_t len = list->size();
  if (op.order.size() != len) {
    return fail("reorder length " + num(op.order.size()) + " does not match list length " + num(len));
  }
  // Every entry is checked before anything moves.
  std::vector<bool> seen(len, false);
  bool moves = false;
  for (std::uint64_t k = 0; k < len; ++k) {
    const std::uint64_t i = op.order[k];
    if (i >= len) return fail("reorder index " + num(i) + " out of bounds (len " + num(len) + ")");
    if (seen[i]) return fail("reorder index " + num(i) + " is duplicated");
    seen[i] = true;
    moves = moves || i != k;
  }
  if (!moves) return {};
  Value::List rearranged;
  rearranged.reserve(len);
  for (std::uint64_t i : op.order) rearranged.push_back(std::move((*list)[i]));
  *list = std::move(rearranged);
  return {};
}

struct OpApplier {
  Value& root;
  Status operator()(const Op::Set& op) const { return apply_set(root, op); }
  Status operator()(const Op::Remove& op) const { return apply_remove(root, op); }
  Status operator()(const Op::Insert& op) const { return apply_insert(root, op); }
  Status operator()(const Op::RemoveAt& op) const { return apply_remove_at(root, op); }
  Status operator()(const Op::Move& op) const { return apply_move(root, op); }
  Status operator()(const Op::Reorder& op) const { return apply_reorder(root, op); }
};

}  // namespace

Result<Value*> value_at_mut(Value& root, std::span<const PathSeg> steps) {
  Value* current = &root;
  for (const PathSeg& step : steps) {
    if (step.is_key()) {
      WW_TRY_ASSIGN(Value::Map* map, as_map(*current));
      auto it = map->find(step.as_key());
      if (it == map->end()) {
        std::string text("path key ");
        append_debug_str(step.as_key(), text);
        text.append(" not found");
        return Error::custom(std::move(text));
      }
      current = &it->second;
    } else {
      WW_TRY_ASSIGN(Value::List* list, as_list(*current));
      if (step.as_index() >= list->size()) {
        return fail("path index " + num(step.as_index()) + " out of bounds");
      }
      current = &(*list)[step.as_index()];
    }
  }
  return current;
}

Status apply_op(Value& root, const Op& op) { return std::visit(OpApplier{root}, op.v); }

Status apply(Value& root, std::span<const Op> ops) {
  for (const Op& op : ops) WW_TRY(apply_op(root, op));
  return {};
}

}  // namespace ww::diff
