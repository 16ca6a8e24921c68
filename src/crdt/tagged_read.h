// Records tagged by a member inside them ("kind") are read in two steps.
// First the record is read whole: from text, its other members (or, in the
// array form, the elements after the tag) are buffered in input order with
// their repeats while only the tag is interpreted. Then the variant that the
// tag names is built from what was buffered, with a visitor over a buffered
// object or array. Errors of that second step carry no position of their own.
//
// A record inside already parsed or buffered JSON is not copied: the second
// step reads it in place, passing over the tag.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "format/json/json_value.h"
#include "format/json/json_value_read.h"
#include "format/json/value_de.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::crdt {

class TaggedContent {
 public:
  std::size_t tag = 0;

  // Runs `v` over the rest of the record as over a buffered object or array
  // (surplus elements: "invalid length N, expected K elements in sequence").
  template <class V>
  Result<rec::OutOf<V>> visit_rest(V&& v) const;

  static TaggedContent buffered(std::size_t tag, JsonValue rest) {
    TaggedContent c;
    c.tag = tag;
    c.owned_ = std::move(rest);
    return c;
  }
  static TaggedContent in_place(std::size_t tag, const JsonValue& record, std::size_t skip, std::size_t first) {
    TaggedContent c;
    c.tag = tag;
    c.record_ = &record;
    c.skip_ = skip;
    c.first_ = first;
    return c;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  JsonValue owned_;
  const JsonValue* record_ = nullptr;  // when read in place
  std::size_t skip_ = kNone;           // object form: the tag member
  std::size_t first_ = 0;              // array form: the first element after the tag
};

namespace tagged_detail {

// The members of an object but one.
class RestMap {
 public:
  RestMap(const JsonValue::Object& o, std::size_t skip) : o_(&o), skip_(skip) { step(); }
  std::size_t size_hint() const { return o_->size() - next_ - (skip_ >= next_ && skip_ < o_->size() ? 1 : 0); }
  template <class F>
  Result<bool> next_key(F&& f) {
    if (next_ >= o_->size()) return false;
    json::StrDe key((*o_)[next_].first);
    ++count_;
    WW_TRY(f(key));
    return true;
  }
  template <class F>
  Status next_value(F&& f) {
    json::ValueDe de((*o_)[next_].second);
    ++next_;
    step();
    return f(de);
  }
  Status end() const {
    std::size_t left = size_hint();
    if (left == 0) return {};
    return rec::invalid_length(count_ + left, rec::elements_in(count_, "map"));
  }

 private:
  void step() {
    if (next_ == skip_) ++next_;
  }
  const JsonValue::Object* o_;
  std::size_t skip_;
  std::size_t next_ = 0;
  std::size_t count_ = 0;
};

// The elements of an array from one on.
class RestSeq {
 public:
  RestSeq(const JsonValue::Array& a, std::size_t first) : a_(&a), next_(first) {}
  std::size_t size_hint() const { return a_->size() - next_; }
  template <class F>
  Result<bool> next(F&& f) {
    if (next_ >= a_->size()) return false;
    json::ValueDe de((*a_)[next_++]);
    ++count_;
    WW_TRY(f(de));
    return true;
  }
  Status end() const {
    std::size_t left = size_hint();
    if (left == 0) return {};
    return rec::invalid_length(count_ + left, rec::elements_in(count_, "sequence"));
  }

 private:
  const JsonValue::Array* a_;
  std::size_t next_;
  std::size_t count_ = 0;
};

// The first step from a source that is read as it goes (JSON text).
struct BufferVisitor : rec::Visitor<BufferVisitor, TaggedContent> {
  std::string_view tag_name;
  std::string_view what;  // "internally tagged enum CrdtPolicy"
  rec::Names variants;

  std::string expecting() const { return std::string(what); }

  template <class D>
  Status read_tag(D& de, std::size_t& tag) const {
    WW_TRY_ASSIGN(tag, de.identifier(rec::variant_names(variants)));
    return {};
  }

  template <class M>
  Result<TaggedContent> visit_map(rec::Ctx, M& map) {
    bool have_tag = false;
    std::size_t tag = 0;
    JsonValue::Object rest;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) break;
      if (key == tag_name) {
        if (have_tag) return rec::duplicate_field(tag_name);
        WW_TRY(map.next_value([&](auto& de) -> Status { return read_tag(de, tag); }));
        have_tag = true;
        continue;
      }
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY_ASSIGN(JsonValue v, json::read_buffered(de));
        rest.emplace_back(std::move(key), std::move(v));
        return {};
      }));
    }
    if (!have_tag) return rec::missing_field(tag_name);
    return TaggedContent::buffered(tag, JsonValue::object(std::move(rest)));
  }

  template <class S>
  Result<TaggedContent> visit_seq(rec::Ctx, S& seq) {
    std::size_t tag = 0;
    WW_TRY_ASSIGN(bool any, seq.next([&](auto& de) -> Status { return read_tag(de, tag); }));
    if (!any) return rec::missing_field(tag_name);
    JsonValue::Array rest;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(JsonValue v, json::read_buffered(de));
        rest.push_back(std::move(v));
        return {};
      }));
      if (!more) break;
    }
    return TaggedContent::buffered(tag, JsonValue::array(std::move(rest)));
  }
};

// The first step over JSON that is already held whole.
inline Result<TaggedContent> tag_in_place(const JsonValue& v, std::string_view tag_name, std::string_view what,
                                          rec::Names variants) {
  switch (v.kind()) {
    case JsonValue::Kind::Object: {
      const auto& members = v.as_object();
      std::size_t at = members.size();
      std::size_t tag = 0;
      for (std::size_t k = 0; k < members.size(); ++k) {
        if (members[k].first != tag_name) continue;
        if (at != members.size()) return rec::duplicate_field(tag_name);
        json::ValueDe de(members[k].second);
        WW_TRY_ASSIGN(tag, de.identifier(rec::variant_names(variants)));
        at = k;
      }
      if (at == members.size()) return rec::missing_field(tag_name);
      return TaggedContent::in_place(tag, v, at, 0);
    }
    case JsonValue::Kind::Array: {
      const auto& items = v.as_array();
      if (items.empty()) return rec::missing_field(tag_name);
      json::ValueDe de(items[0]);
      WW_TRY_ASSIGN(std::size_t tag, de.identifier(rec::variant_names(variants)));
      return TaggedContent::in_place(tag, v, static_cast<std::size_t>(-1), 1);
    }
    default: break;
  }
  return rec::invalid_type(rec::Family::Json, json::unexpected_of(v), what);
}

}  // namespace tagged_detail

// The first step: the tag (a variant index; from text only a variant name
// is accepted, from parsed JSON also an index) and what follows it.
template <class D>
Result<TaggedContent> read_tagged(D& de, std::string_view tag_name, std::string_view what, rec::Names variants) {
  if constexpr (std::is_same_v<std::remove_cv_t<D>, json::ValueDe>) {
    return tagged_detail::tag_in_place(de.value(), tag_name, what, variants);
  } else {
    return de.any(tagged_detail::BufferVisitor{{}, tag_name, what, variants});
  }
}

template <class V>
Result<rec::OutOf<V>> TaggedContent::visit_rest(V&& v) const {
  const JsonValue& rest = record_ ? *record_ : owned_;
  rec::Ctx ctx{rec::Family::Json};
  if (rest.is(JsonValue::Kind::Object)) {
    tagged_detail::RestMap m(rest.as_object(), record_ ? skip_ : kNone);
    WW_TRY_ASSIGN(auto out, v.visit_map(ctx, m));
    WW_TRY(m.end());
    return out;
  }
  tagged_detail::RestSeq s(rest.as_array(), record_ ? first_ : 0);
  WW_TRY_ASSIGN(auto out, v.visit_seq(ctx, s));
  WW_TRY(s.end());
  return out;
}

}  // namespace ww::crdt
