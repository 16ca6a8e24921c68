// A JSON document held generically.
//
// Objects are vectors of members. A parsed JsonValue keeps them in ascending
// byte order of keys with a repeated key reduced to its last value; the
// buffered form of a record (read_buffered) keeps input order and repeats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "format/result.h"

namespace ww {

class JsonValue {
 public:
  enum class Kind : std::uint8_t { Null, Bool, U64, I64, F64, Str, Array, Object };
  using Array = std::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  using Object = std::vector<Member>;

  JsonValue() = default;
  static JsonValue boolean(bool b) { return JsonValue(Repr(std::in_place_index<1>, b)); }
  static JsonValue u64(std::uint64_t v) { return JsonValue(Repr(std::in_place_index<2>, v)); }
  // A non-negative signed integer is held as unsigned, as the reader would.
  static JsonValue i64(std::int64_t v) {
    if (v >= 0) return u64(static_cast<std::uint64_t>(v));
    return JsonValue(Repr(std::in_place_index<3>, v));
  }
  // A non-finite double has no JSON form: it becomes null.
  static JsonValue f64(double v) {
    if (v - v != 0) return JsonValue();
    return JsonValue(Repr(std::in_place_index<4>, v));
  }
  static JsonValue str(std::string s) { return JsonValue(Repr(std::in_place_index<5>, std::move(s))); }
  static JsonValue array(Array a) { return JsonValue(Repr(std::in_place_index<6>, std::move(a))); }
  // `members` must already be in ascending key order without repeats, or be
  // a buffered record.
  static JsonValue object(Object members) { return JsonValue(Repr(std::in_place_index<7>, std::move(members))); }
  // Sorts by key (bytewise) and keeps the last of each repeated key.
  static JsonValue sorted_object(Object members);

  Kind kind() const { return static_cast<Kind>(repr_.index()); }
  bool is(Kind k) const { return kind() == k; }
  bool is_null() const { return kind() == Kind::Null; }

  bool as_bool() const { return std::get<1>(repr_); }
  std::uint64_t as_u64() const { return std::get<2>(repr_); }
  std::int64_t as_i64() const { return std::get<3>(repr_); }
  double as_f64() const { return std::get<4>(repr_); }
  const std::string& as_str() const { return std::get<5>(repr_); }
  const Array& as_array() const { return std::get<6>(repr_); }
  Array& as_array() { return std::get<6>(repr_); }
  const Object& as_object() const { return std::get<7>(repr_); }
  Object& as_object() { return std::get<7>(repr_); }

  // The member of a sorted object, or nullptr.
  const JsonValue* find(std::string_view key) const;

  friend bool operator==(const JsonValue& a, const JsonValue& b) = default;

 private:
  using Repr = std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object>;
  explicit JsonValue(Repr r) : repr_(std::move(r)) {}
  Repr repr_;
};

// Compact JSON text, objects in their stored order.
void write_json(const JsonValue& v, std::string& out);
std::string to_json_text(const JsonValue& v);

// Parses a whole JSON text (only whitespace after it) into a sorted JsonValue.
Result<JsonValue> parse_json_text(std::string_view text);
// The same over bytes whose strings must hold UTF-8.
Result<JsonValue> parse_json_bytes(std::string_view bytes);

}  // namespace ww
