// The reader of a Value, written once over every deserializer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/record/keyed.h"
#include "format/record/list.h"
#include "format/record/tagged_union.h"
#include "format/record/visitor.h"
#include "value/value.h"

namespace ww {

inline constexpr std::array<std::string_view, 8> kValueKindNames = {
    "Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"};

template <class D>
Result<Value> read_value(D& de);

namespace value_read {

struct ReadValue {
  template <class D>
  Result<Value> operator()(D& de) const { return read_value(de); }
};

}  // namespace value_read

// Out of line: a list's loop calls it for each element and stays small
// enough to be inlined into its caller.
template <class D>
[[gnu::noinline]] Result<Value> read_value(D& de) {
  using value_read::ReadValue;
  return rec::read_union<Value, kValueKindNames>(de, "Value", [](std::size_t kind, auto& va) -> Result<Value> {
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
        s = payload([](auto& d) { return rec::read_list<Value>(d, ReadValue{}); },
                    [](Value::List l) { return Value::list(std::move(l)); });
        break;
      case Value::Kind::Map:
        s = payload([](auto& d) { return rec::read_keyed<Value::Map>(d, ReadValue{}); },
                    [](Value::Map m) { return Value::map(std::move(m)); });
        break;
      case Value::Kind::Submodel:
        s = payload([](auto& d) { return rec::read_u64(d); },
                    [](std::uint64_t id) { return Value::submodel(ModelId{id}); });
        break;
    }
    if (!s.ok()) return s.take_error();
    return out;
  });
}

}  // namespace ww
