// Building a JsonValue from any deserializer: the generic JSON reading of
// every format (JSON text, MessagePack, CBOR).
#pragma once

#include <algorithm>

#include "format/json/json_value.h"
#include "format/record/visitor.h"

namespace ww::json {

// The first key of an object must be text; later keys are read as strings,
// which also take UTF-8 bytes.
struct FirstKeyVisitor : rec::Visitor<FirstKeyVisitor, std::string> {
  static constexpr bool kBorrowsStr = true;  // the key is classified, then copied
  std::string expecting() const { return "a string key"; }
  Result<std::string> visit_str(rec::Ctx, std::string_view v) { return std::string(v); }
};

// Reads any value. `Sorted`: objects in ascending key order, last repeat
// wins; otherwise members stay in input order with their repeats (the
// buffered form of a record tagged by a member inside it).
template <bool Sorted>
struct JsonValueVisitor : rec::Visitor<JsonValueVisitor<Sorted>, JsonValue> {
  std::string expecting() const { return "any valid JSON value"; }
  Result<JsonValue> visit_unit(rec::Ctx) { return JsonValue(); }
  Result<JsonValue> visit_none(rec::Ctx) { return JsonValue(); }
  template <class D>
  Result<JsonValue> visit_some(rec::Ctx, D& de) { return de.any(JsonValueVisitor{}); }
  Result<JsonValue> visit_bool(rec::Ctx, bool v) { return JsonValue::boolean(v); }
  Result<JsonValue> visit_i64(rec::Ctx, std::int64_t v) { return JsonValue::i64(v); }
  Result<JsonValue> visit_u64(rec::Ctx, std::uint64_t v) { return JsonValue::u64(v); }
  Result<JsonValue> visit_f64(rec::Ctx, double v) { return JsonValue::f64(v); }
  Result<JsonValue> visit_wide(rec::Ctx, const rec::WideInt& v) {
    if (v.hi == 0 && !v.negative) return JsonValue::u64(v.lo);
    if (v.hi == 0 && v.lo <= static_cast<std::uint64_t>(INT64_MAX)) {
      return JsonValue::i64(-1 - static_cast<std::int64_t>(v.lo));
    }
    return rec::custom("JSON number out of range");
  }
  Result<JsonValue> visit_str(rec::Ctx, std::string_view v) { return JsonValue::str(std::string(v)); }
  template <class S>
  Result<JsonValue> visit_seq(rec::Ctx, S& seq) {
    JsonValue::Array items;
    items.reserve(std::clamp<std::size_t>(seq.size_hint(), 4, 4096));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(JsonValue v, de.any(JsonValueVisitor{}));
        items.push_back(std::move(v));
        return {};
      }));
      if (!more) break;
    }
    return JsonValue::array(std::move(items));
  }
  template <class M>
  Result<JsonValue> visit_map(rec::Ctx, M& map) {
    JsonValue::Object members;
    members.reserve(std::clamp<std::size_t>(map.size_hint(), 4, 4096));
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        if (members.empty()) {
          WW_TRY_ASSIGN(key, kd.str(FirstKeyVisitor{}));
        } else {
          WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        }
        return {};
      }));
      if (!more) break;
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY_ASSIGN(JsonValue v, de.any(JsonValueVisitor{}));
        members.emplace_back(std::move(key), std::move(v));
        return {};
      }));
    }
    if constexpr (Sorted) {
      return JsonValue::sorted_object(std::move(members));
    } else {
      return JsonValue::object(std::move(members));
    }
  }
};

template <class D>
Result<JsonValue> read_json_value(D& de) { return de.any(JsonValueVisitor<true>{}); }

// The buffered form: members kept in input order, repeats included.
template <class D>
Result<JsonValue> read_buffered(D& de) { return de.any(JsonValueVisitor<false>{}); }

}  // namespace ww::json
