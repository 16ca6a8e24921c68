// A deserializer over JSON that has already been read whole: a parsed
// JsonValue, or the buffered members of a record tagged by a member inside
// it. Its errors carry no position; a JSON text reader that is still open
// around it attaches one.
#pragma once

#include <cstddef>
#include <string_view>

#include "format/json/json_value.h"
#include "format/record/unit_variant.h"
#include "format/record/visitor.h"

namespace ww::json {

rec::Unexpected unexpected_of(const JsonValue& v);

// A text standing where a name is read (an object key, a variant name).
class StrDe {
 public:
  static constexpr rec::Family family = rec::Family::Json;
  explicit StrDe(std::string_view s) : s_(s) {}
  template <class V> Result<rec::OutOf<V>> any(V&& v) { return v.visit_str(rec::Ctx{family}, s_); }
  template <class V> Result<rec::OutOf<V>> str(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> map(V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v) { return refuse(v); }
  template <class V> Result<rec::OutOf<V>> option(V&& v) { return v.visit_some(rec::Ctx{family}, *this); }
  Status ignored_any() { return {}; }

 private:
  template <class V>
  Error refuse(V& v) const { return rec::invalid_type(family, rec::Unexpected::str(s_), v.expecting()); }
  std::string_view s_;
};

class ValueDe {
 public:
  static constexpr rec::Family family = rec::Family::Json;
  explicit ValueDe(const JsonValue& v) : v_(&v) {}
  // The JSON being read, for readers that work on it in place.
  const JsonValue& value() const { return *v_; }

  template <class V> Result<rec::OutOf<V>> any(V&& v);
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) {
    if (v_->is(JsonValue::Kind::Bool)) return v.visit_bool(ctx(), v_->as_bool());
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return integer(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return integer(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) {
    switch (v_->kind()) {
      case JsonValue::Kind::F64: return v.visit_f64(ctx(), v_->as_f64());
      case JsonValue::Kind::U64: return v.visit_u64(ctx(), v_->as_u64());
      case JsonValue::Kind::I64: return v.visit_i64(ctx(), v_->as_i64());
      default: return refuse(v);
    }
  }
  template <class V> Result<rec::OutOf<V>> str(V&& v) {
    if (v_->is(JsonValue::Kind::Str)) return v.visit_str(ctx(), v_->as_str());
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return str(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) {
    if (v_->is(JsonValue::Kind::U64)) return v.visit_u64(ctx(), v_->as_u64());
    return str(v);
  }
  // null, and an empty object (a unit written as a map), read as unit.
  template <class V> Result<rec::OutOf<V>> unit(V&& v) {
    if (v_->is_null() || (v_->is(JsonValue::Kind::Object) && v_->as_object().empty())) return v.visit_unit(ctx());
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> option(V&& v) {
    if (v_->is_null()) return v.visit_none(ctx());
    return v.visit_some(ctx(), *this);
  }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) {
    if (v_->is(JsonValue::Kind::Array)) return visit_array(v);
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> map(V&& v) {
    if (v_->is(JsonValue::Kind::Object)) return visit_object(v);
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) {
    if (v_->is(JsonValue::Kind::Array)) return visit_array(v);
    if (v_->is(JsonValue::Kind::Object)) return visit_object(v);
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v);
  Status ignored_any() { return {}; }

 private:
  static rec::Ctx ctx() { return rec::Ctx{family}; }
  template <class V>
  Error refuse(V& v) const { return rec::invalid_type(family, unexpected_of(*v_), v.expecting()); }
  template <class V> Result<rec::OutOf<V>> integer(V& v) {
    if (v_->is(JsonValue::Kind::U64)) return v.visit_u64(ctx(), v_->as_u64());
    if (v_->is(JsonValue::Kind::I64)) return v.visit_i64(ctx(), v_->as_i64());
    return refuse(v);
  }
  template <class V> Result<rec::OutOf<V>> visit_array(V& v);
  template <class V> Result<rec::OutOf<V>> visit_object(V& v);
  const JsonValue* v_;
};

class ValueSeq {
 public:
  explicit ValueSeq(const JsonValue::Array& a) : it_(a.data()), end_(a.data() + a.size()) {}
  // The elements of [begin, end): an array from some element on.
  ValueSeq(const JsonValue* begin, const JsonValue* end) : it_(begin), end_(end) {}
  std::size_t size_hint() const { return static_cast<std::size_t>(end_ - it_); }
  template <class F>
  Result<bool> next(F&& f) {
    if (it_ == end_) return false;
    ValueDe de(*it_++);
    ++count_;
    WW_TRY(f(de));
    return true;
  }
  // Surplus elements the visitor did not take.
  Status end() const {
    if (it_ == end_) return {};
    return rec::invalid_length(count_ + static_cast<std::size_t>(end_ - it_), rec::elements_in(count_, "sequence"));
  }

 private:
  const JsonValue* it_;
  const JsonValue* end_;
  std::size_t count_ = 0;
};

class ValueMap {
 public:
  static constexpr std::size_t kNoSkip = static_cast<std::size_t>(-1);

  // The members of `o`, but the one at `skip` (the tag of a record tagged
  // by a member inside it).
  explicit ValueMap(const JsonValue::Object& o, std::size_t skip = kNoSkip)
      : it_(o.data()), end_(o.data() + o.size()), skip_(skip < o.size() ? o.data() + skip : nullptr) {
    step();
  }
  std::size_t size_hint() const {
    return static_cast<std::size_t>(end_ - it_) - (skip_ != nullptr && skip_ > it_ ? 1 : 0);
  }
  template <class F>
  Result<bool> next_key(F&& f) {
    if (it_ == end_) return false;
    StrDe key(it_->first);
    ++count_;
    WW_TRY(f(key));
    return true;
  }
  template <class F>
  Status next_value(F&& f) {
    ValueDe de(it_->second);
    ++it_;
    step();
    return f(de);
  }
  Status end() const {
    if (it_ == end_) return {};
    return rec::invalid_length(count_ + size_hint(), rec::elements_in(count_, "map"));
  }

 private:
  void step() {
    if (skip_ != nullptr && it_ == skip_) ++it_;
  }
  const JsonValue::Member* it_;
  const JsonValue::Member* end_;
  const JsonValue::Member* skip_;
  std::size_t count_ = 0;
};

// {"Name": payload} or "Name" alone.
class ValueVariant {
 public:
  ValueVariant(std::string_view name, const JsonValue* payload) : name_(name), payload_(payload) {}
  template <class F>
  Result<ValueVariant> variant(F&& f) {
    StrDe id(name_);
    WW_TRY(f(id));
    return *this;
  }
  Status unit_variant() {
    if (!payload_) return {};
    ValueDe de(*payload_);
    return rec::read_unit(de);
  }
  template <class F>
  Status newtype(F&& f) {
    if (!payload_) return unit_refusal("newtype variant");
    ValueDe de(*payload_);
    return f(de);
  }
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&& v) {
    if (!payload_) return unit_refusal("tuple variant");
    if (!payload_->is(JsonValue::Kind::Array)) {
      return rec::invalid_type(rec::Family::Json, unexpected_of(*payload_), "tuple variant");
    }
    ValueDe de(*payload_);
    return de.seq(v);
  }
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names, V&& v) {
    if (!payload_) return unit_refusal("struct variant");
    if (!payload_->is(JsonValue::Kind::Array) && !payload_->is(JsonValue::Kind::Object)) {
      return rec::invalid_type(rec::Family::Json, unexpected_of(*payload_), "struct variant");
    }
    ValueDe de(*payload_);
    return de.struct_("", {}, v);
  }

 private:
  static Error unit_refusal(std::string_view expected) { return rec::refuse_unit_variant(rec::Family::Json, expected); }
  std::string_view name_;
  const JsonValue* payload_;
};

template <class V>
Result<rec::OutOf<V>> ValueDe::any(V&& v) {
  switch (v_->kind()) {
    case JsonValue::Kind::Null: return v.visit_unit(ctx());
    case JsonValue::Kind::Bool: return v.visit_bool(ctx(), v_->as_bool());
    case JsonValue::Kind::U64: return v.visit_u64(ctx(), v_->as_u64());
    case JsonValue::Kind::I64: return v.visit_i64(ctx(), v_->as_i64());
    case JsonValue::Kind::F64: return v.visit_f64(ctx(), v_->as_f64());
    case JsonValue::Kind::Str: return v.visit_str(ctx(), v_->as_str());
    case JsonValue::Kind::Array: return visit_array(v);
    case JsonValue::Kind::Object: break;
  }
  return visit_object(v);
}

template <class V>
Result<rec::OutOf<V>> ValueDe::visit_array(V& v) {
  ValueSeq seq(v_->as_array());
  WW_TRY_ASSIGN(auto out, v.visit_seq(ctx(), seq));
  WW_TRY(seq.end());
  return out;
}

template <class V>
Result<rec::OutOf<V>> ValueDe::visit_object(V& v) {
  ValueMap m(v_->as_object());
  WW_TRY_ASSIGN(auto out, v.visit_map(ctx(), m));
  WW_TRY(m.end());
  return out;
}

template <class V>
Result<rec::OutOf<V>> ValueDe::enum_(std::string_view, rec::Names, V&& v) {
  if (v_->is(JsonValue::Kind::Object)) {
    const auto& o = v_->as_object();
    if (o.size() != 1) {
      return rec::invalid_value(family, rec::Unexpected::of(rec::Unexpected::Kind::Map), "map with a single key");
    }
    ValueVariant access(o[0].first, &o[0].second);
    return v.visit_enum(ctx(), access);
  }
  if (v_->is(JsonValue::Kind::Str)) {
    ValueVariant access(v_->as_str(), nullptr);
    return v.visit_enum(ctx(), access);
  }
  return rec::invalid_type(family, unexpected_of(*v_), "string or map");
}

}  // namespace ww::json
