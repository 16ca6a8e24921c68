#include "diff/apply.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

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

// An operation's value on its way into the tree: copied out of operations
// that stay with their owner, moved out of those that the caller drops.
const Value& handed(const Value& v) { return v; }
Value&& handed(Value& v) { return std::move(v); }

// What undoes one applied operation, for a caller that wants the value as
// it was when a later operation fails: what an operation replaced or took
// out is moved here rather than copied, so keeping the old value costs
// about what the change itself costs, not a copy of the whole tree.
struct Undo {
  enum class Step : std::uint8_t {
    Root,      // root = value
    PutKey,    // map at `at`: key = value (added or replaced)
    DropKey,   // map at `at`: remove key
    PutIndex,  // list at `at`: element `index` = value
    PutAt,     // list at `at`: insert value at `index`
    DropAt,    // list at `at`: remove element `index`
    MoveBack,  // list at `at`: the element at `other` goes back to `index`
    Unorder,   // list at `at`: element k goes back to order[k]
  };
  Step step;
  std::span<const PathSeg> at{};  // borrowed from the operation
  const std::string* key = nullptr;
  std::uint64_t index = 0;
  std::uint64_t other = 0;
  Value value{};
  std::vector<std::uint64_t> order{};
};
using Journal = std::vector<Undo>;

std::span<const PathSeg> all_but_last(const Path& path) { return std::span<const PathSeg>(path).first(path.size() - 1); }

void move_element(Value::List& list, std::uint64_t from, std::uint64_t to) {
  // Taking the element out and putting it back at `to` of the shortened
  // list is one rotation of the range between the two positions.
  if (from < to) {
    std::rotate(at(list, from), at(list, from + 1), at(list, to + 1));
  } else if (to < from) {
    std::rotate(at(list, to), at(list, from), at(list, from + 1));
  }
}

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "wirewright: broken invariant: %s\n", what);
  std::abort();
}

bool keyed(const Undo& u) { return u.step == Undo::Step::PutKey || u.step == Undo::Step::DropKey; }

// The steps of one keyed run share the run's map path (the same span);
// those of any other operation have spans of their own.
bool same_run(const Undo& a, const Undo& b) {
  return keyed(a) && keyed(b) && a.at.data() == b.at.data() && a.at.size() == b.at.size();
}

// Undoes the keyed run whose steps are [first, last) of the reversed
// journal in one pass over its map, as it was applied. Within one run the
// keys it dropped were absent before it and those it puts back were
// present, so the two kinds do not meet; of a key put back twice the
// earliest step (the last here) counts, as merge keeps the last.
template <class It>
void roll_back_run(Value::Map& map, It first, It last) {
  std::vector<std::string_view> dropped;
  Value::Map::Entries put;
  for (It u = first; u != last; ++u) {
    if (u->step == Undo::Step::DropKey) {
      dropped.push_back(*u->key);
    } else {
      put.emplace_back(*u->key, std::move(u->value));
    }
  }
  map.erase_keys(std::move(dropped));
  map.merge(std::move(put));
}

// Undoes the journal's steps, latest first: each finds the value in the
// state that its operation left, so its path leads where it led then.
void roll_back(Value& root, Journal& journal) {
  for (auto u = journal.rbegin(); u != journal.rend(); ++u) {
    if (u->step == Undo::Step::Root) {
      root = std::move(u->value);
      continue;
    }
    Result<Value*> place = value_at_mut(root, u->at);
    if (!place.ok()) broken("apply: an undo step's path no longer leads anywhere");
    Value& c = **place;
    if (auto end = std::next(u); end != journal.rend() && same_run(*u, *end)) {
      while (end != journal.rend() && same_run(*u, *end)) ++end;
      roll_back_run(c.as_map(), u, end);
      u = std::prev(end);
      continue;
    }
    switch (u->step) {
      case Undo::Step::Root: break;
      case Undo::Step::PutKey: c.as_map().insert_or_assign(*u->key, std::move(u->value)); break;
      case Undo::Step::DropKey: c.as_map().erase(*u->key); break;
      case Undo::Step::PutIndex: c.as_list()[u->index] = std::move(u->value); break;
      case Undo::Step::PutAt: c.as_list().insert(at(c.as_list(), u->index), std::move(u->value)); break;
      case Undo::Step::DropAt: c.as_list().erase(at(c.as_list(), u->index)); break;
      case Undo::Step::MoveBack: move_element(c.as_list(), u->other, u->index); break;
      case Undo::Step::Unorder: {
        Value::List& list = c.as_list();
        Value::List before(list.size());
        for (std::size_t k = 0; k < list.size(); ++k) before[u->order[k]] = std::move(list[k]);
        list = std::move(before);
        break;
      }
    }
  }
}

// The applier of single operations; with a journal, each records how it
// is undone once it has succeeded.
struct OpApplier {
  Value& root;
  Journal* journal;

  void record(Undo u) const {
    if (journal != nullptr) journal->push_back(std::move(u));
  }

  template <class SetOp>
    requires std::is_same_v<std::remove_const_t<SetOp>, Op::Set>
  Status operator()(SetOp& op) const {
    if (op.path.empty()) {
      if (journal != nullptr) record({.step = Undo::Step::Root, .value = std::move(root)});
      root = handed(op.value);
      return {};
    }
    WW_TRY_ASSIGN(Value* parent, parent_of(root, op.path));
    const PathSeg& last = op.path.back();
    if (last.is_key()) {
      WW_TRY_ASSIGN(Value::Map* map, as_map(*parent));
      const std::string& key = last.as_key();
      auto it = map->lower_bound(key);
      if (it != map->end() && it->first == key) {
        if (journal != nullptr) {
          record({.step = Undo::Step::PutKey, .at = all_but_last(op.path), .key = &key, .value = std::move(it->second)});
        }
        it->second = handed(op.value);
      } else {
        record({.step = Undo::Step::DropKey, .at = all_but_last(op.path), .key = &key});
        map->emplace_hint(it, key, handed(op.value));
      }
      return {};
    }
    WW_TRY_ASSIGN(Value::List* list, as_list(*parent));
    const std::uint64_t i = last.as_index();
    if (i >= list->size()) return fail("set index " + num(i) + " out of bounds");
    if (journal != nullptr) {
      record({.step = Undo::Step::PutIndex, .at = all_but_last(op.path), .index = i, .value = std::move((*list)[i])});
    }
    (*list)[i] = handed(op.value);
    return {};
  }

  Status operator()(const Op::Remove& op) const {
    if (op.path.empty()) return fail("remove path is empty");
    WW_TRY_ASSIGN(Value* parent, parent_of(root, op.path));
    const PathSeg& last = op.path.back();
    if (last.is_key()) {
      WW_TRY_ASSIGN(Value::Map* map, as_map(*parent));
      auto it = map->find(last.as_key());
      if (it == map->end()) return {};  // an absent key is already removed
      record({.step = Undo::Step::PutKey, .at = all_but_last(op.path), .key = &last.as_key(),
              .value = std::move(it->second)});
      map->erase(it);
      return {};
    }
    // Only patches from elsewhere remove by index; it acts as RemoveAt.
    WW_TRY_ASSIGN(Value::List* list, as_list(*parent));
    const std::uint64_t i = last.as_index();
    if (i >= list->size()) {
      return fail("remove index " + num(i) + " out of bounds (len " + num(list->size()) + ")");
    }
    record({.step = Undo::Step::PutAt, .at = all_but_last(op.path), .index = i, .value = std::move((*list)[i])});
    list->erase(at(*list, i));
    return {};
  }

  template <class InsertOp>
    requires std::is_same_v<std::remove_const_t<InsertOp>, Op::Insert>
  Status operator()(InsertOp& op) const {
    WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
    if (op.index > list->size()) {
      return fail("insert index " + num(op.index) + " out of bounds (len " + num(list->size()) + ")");
    }
    list->insert(at(*list, op.index), handed(op.value));
    record({.step = Undo::Step::DropAt, .at = op.path, .index = op.index});
    return {};
  }

  Status operator()(const Op::RemoveAt& op) const {
    WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
    if (op.index >= list->size()) {
      return fail("remove index " + num(op.index) + " out of bounds (len " + num(list->size()) + ")");
    }
    record({.step = Undo::Step::PutAt, .at = op.path, .index = op.index, .value = std::move((*list)[op.index])});
    list->erase(at(*list, op.index));
    return {};
  }

  Status operator()(const Op::Move& op) const {
    WW_TRY_ASSIGN(Value::List* list, target_list(root, op.path));
    const std::uint64_t len = list->size();
    if (op.from >= len) {
      return fail("move source index " + num(op.from) + " out of bounds (len " + num(len) + ")");
    }
    if (op.to >= len) {
      return fail("move destination index " + num(op.to) + " out of bounds (len " + num(len) + ")");
    }
    move_element(*list, op.from, op.to);
    record({.step = Undo::Step::MoveBack, .at = op.path, .index = op.from, .other = op.to});
    return {};
  }

  Status operator()(const Op::Reorder& op) const {
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
    if (journal != nullptr) record({.step = Undo::Step::Unorder, .at = op.path, .order = op.order});
    return {};
  }
};

// Keyed runs. A patch that adds or removes many keys of one map (the diff
// writes a map's new keys in key order, and all its removals one after the
// other) would shift the map's entries once per key; consecutive operations
// that all set, or all remove, a key of the same map are instead carried
// out together, with one pass over the map. Nothing in such a run can fail
// once its map is found, so the result and the first failure are those of
// applying the operations one by one.

bool sets_or_removes_a_key(const Op& op, Op::Kind kind) {
  if (op.kind() != kind) return false;
  const Path& path = op.path();
  return !path.empty() && path.back().is_key();
}

bool same_parent(const Path& a, const Path& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end() - 1, b.begin());
}

// The number of operations from ops[i] on that form one keyed run (1 when
// ops[i] starts none).
template <class O>
std::size_t keyed_run(std::span<O> ops, std::size_t i) {
  const Op::Kind kind = ops[i].kind();
  if (kind != Op::Kind::Set && kind != Op::Kind::Remove) return 1;
  if (!sets_or_removes_a_key(ops[i], kind)) return 1;
  const Path& first = ops[i].path();
  std::size_t j = i + 1;
  while (j < ops.size() && sets_or_removes_a_key(ops[j], kind) && same_parent(ops[j].path(), first)) ++j;
  return j - i;
}

// With a journal, every operation of the run records its own undo step;
// a key that the run names twice is undone twice, latest first, which
// leaves what the first found.
template <class O>
Status apply_keyed_run(Value& root, std::span<O> run, Journal* journal) {
  WW_TRY_ASSIGN(Value* parent, parent_of(root, run.front().path()));
  WW_TRY_ASSIGN(Value::Map* map, as_map(*parent));
  const std::span<const PathSeg> map_path = all_but_last(run.front().path());
  if (run.front().kind() == Op::Kind::Remove) {
    std::vector<std::string_view> keys;
    keys.reserve(run.size());
    for (const Op& op : run) {
      const std::string& key = op.path().back().as_key();
      keys.push_back(key);
      if (journal == nullptr) continue;
      auto it = map->find(key);
      if (it != map->end()) {
        journal->push_back({.step = Undo::Step::PutKey, .at = map_path, .key = &key, .value = std::move(it->second)});
      }
    }
    map->erase_keys(std::move(keys));
    return {};
  }
  // Present keys take their values in place; new ones join the map at once.
  Value::Map::Entries added;
  for (O& op : run) {
    auto& set = std::get<Op::Set>(op.v);
    const std::string& key = set.path.back().as_key();
    auto it = map->find(key);
    if (it != map->end()) {
      if (journal != nullptr) {
        journal->push_back({.step = Undo::Step::PutKey, .at = map_path, .key = &key, .value = std::move(it->second)});
      }
      it->second = handed(set.value);
    } else {
      if (journal != nullptr) journal->push_back({.step = Undo::Step::DropKey, .at = map_path, .key = &key});
      added.emplace_back(key, handed(set.value));
    }
  }
  map->merge(std::move(added));
  return {};
}

template <class O>
Status apply_all(Value& root, std::span<O> ops, Journal* journal) {
  for (std::size_t i = 0; i < ops.size();) {
    const std::size_t run = keyed_run(ops, i);
    if (run > 1) {
      WW_TRY(apply_keyed_run(root, ops.subspan(i, run), journal));
    } else {
      WW_TRY(std::visit(OpApplier{root, journal}, ops[i].v));
    }
    i += run;
  }
  return {};
}

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

Status apply_op(Value& root, const Op& op) { return std::visit(OpApplier{root, nullptr}, op.v); }

Status apply(Value& root, std::span<const Op> ops) { return apply_all(root, ops, nullptr); }

Status apply_taking(Value& root, std::span<Op> ops) { return apply_all(root, ops, nullptr); }

Status apply_whole(Value& root, std::span<Op> ops) {
  Journal journal;
  Status s = apply_all(root, ops, &journal);
  if (!s.ok()) roll_back(root, journal);
  return s;
}

}  // namespace ww::diff
