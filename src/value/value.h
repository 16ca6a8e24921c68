// The model value: eight kinds, owned trees, ordered maps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "value/flat_map.h"

namespace ww {

// Names a hosted model; ordered numerically, written as the bare number.
struct ModelId {
  std::uint64_t id = 0;
  friend auto operator<=>(const ModelId&, const ModelId&) = default;
};

class Value {
 public:
  // Declaration order is the kind's index (the MessagePack reader accepts it).
  enum class Kind : std::uint8_t { Null, Bool, Int, Float, Str, List, Map, Submodel };
  using List = std::vector<Value>;
  // Entries in ascending byte order of keys, in one vector.
  using Map = FlatMap<Value>;

  Value() = default;
  static Value null() { return Value(); }
  static Value boolean(bool b) { return Value(Repr(std::in_place_index<1>, b)); }
  static Value integer(std::int64_t i) { return Value(Repr(std::in_place_index<2>, i)); }
  static Value floating(double d) { return Value(Repr(std::in_place_index<3>, d)); }
  static Value str(std::string s) { return Value(Repr(std::in_place_index<4>, std::move(s))); }
  static Value list(List l) { return Value(Repr(std::in_place_index<5>, std::move(l))); }
  static Value map(Map m) { return Value(Repr(std::in_place_index<6>, std::move(m))); }
  static Value submodel(ModelId id) { return Value(Repr(std::in_place_index<7>, id)); }

  // Makes this value one of kind K, its payload built in place from `args`;
  // returns the payload. Readers fill a value where it will stay this way.
  template <Kind K, class... A>
  auto& emplace(A&&... args) {
    return repr_.template emplace<static_cast<std::size_t>(K)>(std::forward<A>(args)...);
  }

  Kind kind() const { return static_cast<Kind>(repr_.index()); }
  bool is(Kind k) const { return kind() == k; }

  bool as_bool() const { return std::get<1>(repr_); }
  std::int64_t as_int() const { return std::get<2>(repr_); }
  double as_float() const { return std::get<3>(repr_); }
  const std::string& as_str() const { return std::get<4>(repr_); }
  std::string& as_str() { return std::get<4>(repr_); }
  const List& as_list() const { return std::get<5>(repr_); }
  List& as_list() { return std::get<5>(repr_); }
  const Map& as_map() const { return std::get<6>(repr_); }
  Map& as_map() { return std::get<6>(repr_); }
  ModelId as_submodel() const { return std::get<7>(repr_); }

  // Structural equality; a Float compares as IEEE doubles (NaN != NaN, 0.0 == -0.0).
  friend bool operator==(const Value& a, const Value& b);

 private:
  using Repr = std::variant<std::monostate, bool, std::int64_t, double, std::string, List, Map, ModelId>;
  explicit Value(Repr r) : repr_(std::move(r)) {}
  Repr repr_;
};

// The kind's name, as in every wire form ("Null", "Bool", ..., "Submodel").
const char* kind_name(Value::Kind k);

// The debug text quoted by error messages: Map({"a": Int(1)}), Float(1e16), ...
void append_debug(const Value& v, std::string& out);
std::string debug_text(const Value& v);

}  // namespace ww
