// The reader of a Value, written once over every deserializer.
//
// Each value is read into the place where it stays, or next to it: a text
// is built once from what the source hands over, a container's elements
// gather on one stack shared by the whole value and move once into a
// vector of exactly their number (one allocation per container, where
// appending to a vector of unknown final size allocates once per doubling).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "format/debug_text.h"
#include "format/record/list.h"
#include "format/record/tagged_union.h"
#include "format/record/visitor.h"
#include "value/value.h"

namespace ww {

inline constexpr std::array<std::string_view, 8> kValueKindNames = {
    "Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"};

namespace value_read {

// The elements and members of the containers being read, innermost last:
// each container's stay on top until it is complete. Shared by the whole
// value, so that its capacity is reused from one container to the next.
struct Scratch {
  Value::List items;
  Value::Map::Entries members;
};

// Drops what a container left on a stack when it stopped early.
template <class T>
struct Unwind {
  std::vector<T>& stack;
  std::size_t base;
  ~Unwind() {
    if (stack.size() > base) stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(base), stack.end());
  }
};

// The entries above `base`, moved off the stack into a vector of their own.
template <class T>
std::vector<T> take_above(std::vector<T>& stack, std::size_t base) {
  const auto first = stack.begin() + static_cast<std::ptrdiff_t>(base);
  std::vector<T> out(std::make_move_iterator(first), std::make_move_iterator(stack.end()));
  stack.erase(first, stack.end());
  return out;
}

}  // namespace value_read

// Reads one value into `out`, which holds Null on entry; on failure `out`
// holds a part of the value and is to be dropped.
template <class D>
Status read_value_into(D& de, Value& out, value_read::Scratch& scratch);

template <class D>
Result<Value> read_value(D& de) {
  value_read::Scratch scratch;
  Value out;
  WW_TRY(read_value_into(de, out, scratch));
  return out;
}

namespace value_read {

struct ReadValue {
  template <class D>
  Result<Value> operator()(D& de) const { return read_value(de); }
};

inline Status done(Result<bool> r) {
  if (!r) return r.take_error();
  return {};
}

// A text, built once where it stays: the payload of a Str, or the key of
// a new map entry. "a string".
template <class Place>
struct TextInto : rec::Visitor<TextInto<Place>, bool> {
  Place place;
  explicit TextInto(Place p) : place(p) {}
  std::string expecting() const { return "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) {
    place(v);
    return true;
  }
  Result<bool> visit_bytes(rec::Ctx c, std::string_view v) {
    if (!is_valid_utf8(v)) return this->refuse_value(c, rec::Unexpected::of(rec::Unexpected::Kind::Bytes));
    place(v);
    return true;
  }
};

// The array of a List: "a sequence". With a length known up front each
// element is read where it stays; otherwise the elements gather on the
// scratch stack (read beside it first: an inner container's elements
// gather there too, and may move the stack).
struct ListInto : rec::Visitor<ListInto, bool> {
  Value* out;
  Scratch* scratch;
  ListInto(Value& v, Scratch& s) : out(&v), scratch(&s) {}
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    if (const std::size_t hint = seq.size_hint(); hint > 0) {
      Value::List& items = out->emplace<Value::Kind::List>();
      items.reserve(rec::cautious_reserve<Value>(hint));
      for (;;) {
        WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
          items.emplace_back();
          return read_value_into(de, items.back(), *scratch);
        }));
        if (!more) return true;
      }
    }
    Value::List& stack = scratch->items;
    Unwind<Value> unwind{stack, stack.size()};
    for (;;) {
      Value item;
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) { return read_value_into(de, item, *scratch); }));
      if (!more) break;
      stack.push_back(std::move(item));
    }
    out->emplace<Value::Kind::List>(take_above(stack, unwind.base));
    return true;
  }
};

// The object of a Map: its members are collected in input order and sorted
// once at the end, only when they did not arrive in ascending order, so a
// map of n keys costs n log n in any order. A repeated key keeps its last
// value. "a map".
struct MapInto : rec::Visitor<MapInto, bool> {
  Value* out;
  Scratch* scratch;
  MapInto(Value& v, Scratch& s) : out(&v), scratch(&s) {}
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    // The members gather on the scratch stack, each value read beside it
    // first (its own members may move the stack).
    Value::Map::Entries& stack = scratch->members;
    Unwind<Value::Map::value_type> unwind{stack, stack.size()};
    bool ascending = true;
    for (;;) {
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        return done(kd.str(TextInto([&](std::string_view key) {
          stack.emplace_back(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple());
        })));
      }));
      if (!more) break;
      Value v;
      WW_TRY(map.next_value([&](auto& de) -> Status { return read_value_into(de, v, *scratch); }));
      stack.back().second = std::move(v);
      const std::size_t n = stack.size();
      if (ascending && n > unwind.base + 1 && !(stack[n - 2].first < stack[n - 1].first)) ascending = false;
    }
    if (ascending) {
      out->emplace<Value::Kind::Map>(Value::Map::from_sorted(take_above(stack, unwind.base)));
    } else {
      // Sorted straight off the stack; the unwinding drops what is left.
      auto first = stack.begin() + static_cast<std::ptrdiff_t>(unwind.base);
      out->emplace<Value::Kind::Map>(Value::Map::take_unsorted(std::span(first, stack.end())));
    }
    return true;
  }
};

// The payload of a List or a Map. Out of line: nesting recurses through
// here, and one small frame per level keeps a deep MessagePack value within
// a thread's stack.
template <class D>
[[gnu::noinline]] Status read_container(D& de, Value::Kind kind, Value& out, Scratch& scratch) {
  if (kind == Value::Kind::List) return done(de.seq(ListInto(out, scratch)));
  return done(de.map(MapInto(out, scratch)));
}

}  // namespace value_read

template <class D>
[[gnu::noinline]] Status read_value_into(D& de, Value& out, value_read::Scratch& scratch) {
  using namespace value_read;
  auto r = rec::read_union<bool, kValueKindNames>(de, "Value", [&](std::size_t kind, auto& va) -> Result<bool> {
    // Scalars: read, then stored.
    auto scalar = [&](auto read, auto store) -> Status {
      return va.newtype([&](auto& d) -> Status {
        WW_TRY_ASSIGN(auto x, read(d));
        store(x);
        return {};
      });
    };
    Status s;
    switch (static_cast<Value::Kind>(kind)) {
      case Value::Kind::Null: s = va.unit_variant(); break;
      case Value::Kind::Bool:
        s = scalar([](auto& d) { return rec::read_bool(d); },
                   [&](bool b) { out.emplace<Value::Kind::Bool>(b); });
        break;
      case Value::Kind::Int:
        s = scalar([](auto& d) { return rec::read_i64(d); },
                   [&](std::int64_t i) { out.emplace<Value::Kind::Int>(i); });
        break;
      case Value::Kind::Float:
        s = scalar([](auto& d) { return rec::read_f64(d); },
                   [&](double f) { out.emplace<Value::Kind::Float>(f); });
        break;
      case Value::Kind::Str:
        s = va.newtype([&](auto& d) {
          return done(d.str(TextInto([&](std::string_view text) { out.emplace<Value::Kind::Str>(text); })));
        });
        break;
      case Value::Kind::List:
      case Value::Kind::Map:
        s = va.newtype([&](auto& d) { return read_container(d, static_cast<Value::Kind>(kind), out, scratch); });
        break;
      case Value::Kind::Submodel:
        s = scalar([](auto& d) { return rec::read_u64(d); },
                   [&](std::uint64_t id) { out.emplace<Value::Kind::Submodel>(ModelId{id}); });
        break;
    }
    if (!s.ok()) return s.take_error();
    return true;
  });
  return value_read::done(std::move(r));
}

}  // namespace ww
