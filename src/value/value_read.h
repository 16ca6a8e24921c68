// The reader of a Value, written once over every deserializer.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "format/record/visitor.h"
#include "value/value.h"

namespace ww {

inline constexpr std::array<std::string_view, 8> kValueKindNames = {
    "Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"};

// No more than 1 MiB worth of elements is reserved on a declared length.
template <class T>
std::size_t cautious_reserve(std::size_t hint) {
  return std::min<std::size_t>(hint, (1u << 20) / sizeof(T));
}

template <class D>
Result<Value> read_value(D& de);

struct ValueListVisitor : rec::Visitor<ValueListVisitor, Value::List> {
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<Value::List> visit_seq(rec::Ctx, S& seq) {
    Value::List items;
    items.reserve(cautious_reserve<Value>(seq.size_hint()));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& d) -> Status {
        WW_TRY_ASSIGN(Value v, read_value(d));
        items.push_back(std::move(v));
        return {};
      }));
      if (!more) return items;
    }
  }
};

struct ValueMapVisitor : rec::Visitor<ValueMapVisitor, Value::Map> {
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<Value::Map> visit_map(rec::Ctx, M& map) {
    Value::Map out;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) return out;
      WW_TRY(map.next_value([&](auto& d) -> Status {
        WW_TRY_ASSIGN(Value v, read_value(d));
        // Keys usually arrive in order: append without a search.
        if (out.empty() || std::prev(out.end())->first < key) {
          out.emplace_hint(out.end(), std::move(key), std::move(v));
        } else {
          out.insert_or_assign(std::move(key), std::move(v));  // a repeat: the later one wins
        }
        return {};
      }));
    }
  }
};

struct ValueVisitor : rec::Visitor<ValueVisitor, Value> {
  std::string expecting() const { return "enum Value"; }

  template <class E>
  Result<Value> visit_enum(rec::Ctx, E& e) {
    std::size_t kind = 0;
    WW_TRY_ASSIGN(auto va, e.variant([&](auto& id) -> Status {
      WW_TRY_ASSIGN(kind, id.identifier(rec::variant_names(kValueKindNames)));
      return {};
    }));
    Value out;
    // Out of line: nesting recurses through here, and one small frame per
    // level keeps a deep MessagePack value within a thread's stack.
    auto payload = [&](auto read, auto make) __attribute__((noinline)) -> Status {
      return va.newtype([&](auto& d) -> Status {
        WW_TRY_ASSIGN(auto x, read(d));
        out = make(std::move(x));
        return {};
      });
    };
    Status s;
    switch (static_cast<Value::Kind>(kind)) {
      case Value::Kind::Null: s = va.unit_variant(); break;
      case Value::Kind::Bool:
        s = payload([](auto& d) { return rec::read_bool(d); }, [](bool b) { return Value::boolean(b); });
        break;
      case Value::Kind::Int:
        s = payload([](auto& d) { return rec::read_i64(d); }, [](std::int64_t i) { return Value::integer(i); });
        break;
      case Value::Kind::Float:
        s = payload([](auto& d) { return rec::read_f64(d); }, [](double f) { return Value::floating(f); });
        break;
      case Value::Kind::Str:
        s = payload([](auto& d) { return rec::read_string(d); }, [](std::string x) { return Value::str(std::move(x)); });
        break;
      case Value::Kind::List:
        s = payload([](auto& d) { return d.seq(ValueListVisitor{}); },
                    [](Value::List l) { return Value::list(std::move(l)); });
        break;
      case Value::Kind::Map:
        s = payload([](auto& d) { return d.map(ValueMapVisitor{}); },
                    [](Value::Map m) { return Value::map(std::move(m)); });
        break;
      case Value::Kind::Submodel:
        s = payload([](auto& d) { return rec::read_u64(d); },
                    [](std::uint64_t id) { return Value::submodel(ModelId{id}); });
        break;
    }
    if (!s.ok()) return s.take_error();
    return out;
  }
};

template <class D>
Result<Value> read_value(D& de) {
  return de.enum_("Value", kValueKindNames, ValueVisitor{});
}

}  // namespace ww
