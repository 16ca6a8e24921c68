#include "diff/diff.h"

#include <cmath>

#include "diff/differ.h"

namespace ww::diff {

void diff_value(const Path& path, const Value& old_value, const Value& new_value, std::vector<Op>& ops) {
  Differ(path, ops).value(old_value, new_value);
}

Path child_path(const Path& path, PathSeg seg) {
  Path out;
  out.reserve(path.size() + 1);
  out = path;
  out.push_back(std::move(seg));
  return out;
}

void diff_list_positionally(const Path& path, const Value::List& old_list, const Value::List& new_list,
                            std::vector<Op>& ops) {
  Differ(path, ops).positional(old_list, new_list);
}

bool identical(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Float:
      return a.as_float() == b.as_float() && std::signbit(a.as_float()) == std::signbit(b.as_float());
    case Value::Kind::List: {
      const Value::List& x = a.as_list();
      const Value::List& y = b.as_list();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!identical(x[i], y[i])) return false;
      }
      return true;
    }
    case Value::Kind::Map: {
      const Value::Map& x = a.as_map();
      const Value::Map& y = b.as_map();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i->first != j->first || !identical(i->second, j->second)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

Path Differ::here() const {
  Path out;
  out.reserve(base_.size() + steps_.size() + 1);
  out = base_;
  for (const Step& s : steps_) {
    out.push_back(s.key ? PathSeg::key(*s.key) : PathSeg::index(s.index));
  }
  return out;
}

Path Differ::here_key(const std::string& key) const {
  Path out = here();
  out.push_back(PathSeg::key(key));
  return out;
}

Path Differ::here_index(std::uint64_t index) const {
  Path out = here();
  out.push_back(PathSeg::index(index));
  return out;
}

void Differ::value(const Value& old_value, const Value& new_value) {
  // Two maps or two lists are always diffed member by member, never first
  // compared as wholes.
  if (old_value.is(Value::Kind::Map) && new_value.is(Value::Kind::Map)) {
    map(old_value.as_map(), new_value.as_map());
  } else if (old_value.is(Value::Kind::List) && new_value.is(Value::Kind::List)) {
    list(old_value.as_list(), new_value.as_list());
  } else if (!(old_value == new_value)) {
    emit(Op::Set{here(), new_value});
  }
}

void Differ::map(const Value::Map& old_map, const Value::Map& new_map) {
  // Both maps iterate in ascending key order, so one merge walk finds each
  // key's partner. First every key of the new map, then the removals.
  auto old_it = old_map.begin();
  bool removals = false;
  for (const auto& [key, new_entry] : new_map) {
    int c = -1;
    while (old_it != old_map.end() && (c = old_it->first.compare(key)) < 0) {
      removals = true;
      ++old_it;
    }
    if (old_it != old_map.end() && c == 0) {
      push_key(key);
      value(old_it->second, new_entry);
      pop();
      ++old_it;
    } else {
      emit(Op::Set{here_key(key), new_entry});
    }
  }
  if (!removals && old_it == old_map.end()) return;  // every old key is in the new map
  auto new_it = new_map.begin();
  for (const auto& entry : old_map) {
    const std::string& key = entry.first;
    int c = -1;
    while (new_it != new_map.end() && (c = new_it->first.compare(key)) < 0) ++new_it;
    if (new_it == new_map.end() || c != 0) emit(Op::Remove{here_key(key)});
  }
}

void Differ::positional(const Value::List& old_list, const Value::List& new_list) {
  const std::size_t n = old_list.size();
  const std::size_t m = new_list.size();
  const std::size_t common = n < m ? n : m;
  for (std::size_t i = 0; i < common; ++i) {
    push_index(i);
    value(old_list[i], new_list[i]);
    pop();
  }
  if (m > n) {
    const Path path = here();
    for (std::size_t i = n; i < m; ++i) emit(Op::Insert{path, i, new_list[i]});
  } else if (n > m) {
    const Path path = here();
    for (std::size_t r = n; r-- > m;) emit(Op::RemoveAt{path, r});
  }
}

}  // namespace ww::diff
