// The reader of a Value, written once over every deserializer.
//
// Each value is read into the place where it stays: a list element is
// appended and then filled, a map entry likewise, a text is built once from
// what the source hands over. Nothing is moved from one holder to the next
// on the way up, which for a tree of small values is most of the work.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "format/debug_text.h"
#include "format/record/list.h"
#include "format/record/tagged_union.h"
#include "format/record/visitor.h"
#include "value/value.h"

namespace ww {

inline constexpr std::array<std::string_view, 8> kValueKindNames = {
    "Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"};

// Reads one value into `out`, which holds Null on entry; on failure `out`
// holds a part of the value and is to be dropped.
template <class D>
Status read_value_into(D& de, Value& out);

template <class D>
Result<Value> read_value(D& de) {
  Value out;
  WW_TRY(read_value_into(de, out));
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

// The array of a List, each element read where it stays: "a sequence".
struct ListInto : rec::Visitor<ListInto, bool> {
  Value::List* items;
  explicit ListInto(Value::List& l) : items(&l) {}
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    items->reserve(rec::cautious_reserve<Value>(seq.size_hint()));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        items->emplace_back();
        return read_value_into(de, items->back());
      }));
      if (!more) return true;
    }
  }
};

// The object of a Map: its members are collected in input order and sorted
// once at the end, only when they did not arrive in ascending order, so a
// map of n keys costs n log n in any order. A repeated key keeps its last
// value. "a map".
struct MapInto : rec::Visitor<MapInto, bool> {
  Value* out;
  explicit MapInto(Value& v) : out(&v) {}
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    Value::Map::Entries entries;
    entries.reserve(rec::cautious_reserve<Value::Map::value_type>(map.size_hint()));
    bool ascending = true;
    for (;;) {
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        return done(kd.str(TextInto([&](std::string_view key) {
          entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple());
        })));
      }));
      if (!more) break;
      WW_TRY(map.next_value([&](auto& de) -> Status { return read_value_into(de, entries.back().second); }));
      const std::size_t n = entries.size();
      if (ascending && n > 1 && !(entries[n - 2].first < entries[n - 1].first)) ascending = false;
    }
    if (ascending) {
      out->emplace<Value::Kind::Map>(Value::Map::from_sorted(std::move(entries)));
    } else {
      out->emplace<Value::Kind::Map>(Value::Map::from_unsorted(std::move(entries)));
    }
    return true;
  }
};

// The payload of a List or a Map. Out of line: nesting recurses through
// here, and one small frame per level keeps a deep MessagePack value within
// a thread's stack.
template <class D>
[[gnu::noinline]] Status read_container(D& de, Value::Kind kind, Value& out) {
  if (kind == Value::Kind::List) return done(de.seq(ListInto(out.emplace<Value::Kind::List>())));
  return done(de.map(MapInto(out)));
}

}  // namespace value_read

template <class D>
[[gnu::noinline]] Status read_value_into(D& de, Value& out) {
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
        s = va.newtype([&](auto& d) { return read_container(d, static_cast<Value::Kind>(kind), out); });
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
