// Records tagged by a member inside them ({"t":"ack",...}, {"kind":"map",...})
// are read in two steps.
//
// First the record is read whole: from text, its other members (or, in the
// array form, the elements after the tag) are buffered in input order with
// their repeats while only the tag is interpreted, wherever it stands. Then
// the kind that the tag names is built from what was buffered, with a
// visitor over a buffered object or array (TaggedContent::visit_rest), so
// its errors carry no position of their own; a JSON text reader still open
// around the record attaches one.
//
// A record inside JSON that is already held whole (parsed, or buffered by an
// enclosing tagged record) is not copied: both steps read it in place, the
// second passing over the tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "format/json/json_value.h"
#include "format/json/json_value_read.h"
#include "format/json/value_de.h"
#include "format/record/fields.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::json {

class TaggedContent {
 public:
  // The kind: what the tag's name visitor made of the tag.
  std::size_t tag = 0;

  // Runs `v` over the rest of the record as over a buffered object or array
  // (surplus elements: "invalid length N, expected K elements in sequence").
  template <class V>
  Result<rec::OutOf<V>> visit_rest(V&& v) const;

  // Reads the rest as the fields of the kind (format/record/fields.h).
  template <class F>
  Result<std::uint64_t> read_fields(const rec::RecordShape& shape, F&& read) const {
    return visit_rest(rec::FieldsVisitor<std::remove_reference_t<F>>(shape, read));
  }

  static TaggedContent buffered(std::size_t tag, JsonValue rest) {
    return TaggedContent(tag, std::move(rest), nullptr, ValueMap::kNoSkip, 0);
  }
  static TaggedContent in_place(std::size_t tag, const JsonValue& record, std::size_t skip, std::size_t first) {
    return TaggedContent(tag, JsonValue(), &record, skip, first);
  }

 private:
  TaggedContent(std::size_t t, JsonValue owned, const JsonValue* record, std::size_t skip, std::size_t first)
      : tag(t), owned_(std::move(owned)), record_(record), skip_(skip), first_(first) {}

  JsonValue owned_;
  const JsonValue* record_;  // when read in place
  std::size_t skip_;         // object form: the tag member
  std::size_t first_;        // array form: the first element after the tag
};

namespace tagged_detail {

// The first step from a source that is read as it goes (JSON text).
struct BufferVisitor : rec::Visitor<BufferVisitor, TaggedContent> {
  std::string_view tag_name;
  std::string_view what;  // "internally tagged enum CrdtPolicy"
  rec::NameVisitor tags;

  std::string expecting() const { return std::string(what); }

  template <class D>
  Status read_tag(D& de, std::size_t& tag) const {
    WW_TRY_ASSIGN(tag, de.identifier(tags));
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
        WW_TRY_ASSIGN(JsonValue v, read_buffered(de));
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
        WW_TRY_ASSIGN(JsonValue v, read_buffered(de));
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
                                          const rec::NameVisitor& tags) {
  switch (v.kind()) {
    case JsonValue::Kind::Object: {
      const auto& members = v.as_object();
      std::size_t at = members.size();
      std::size_t tag = 0;
      for (std::size_t k = 0; k < members.size(); ++k) {
        if (members[k].first != tag_name) continue;
        if (at != members.size()) return rec::duplicate_field(tag_name);
        ValueDe de(members[k].second);
        WW_TRY_ASSIGN(tag, de.identifier(tags));
        at = k;
      }
      if (at == members.size()) return rec::missing_field(tag_name);
      return TaggedContent::in_place(tag, v, at, 0);
    }
    case JsonValue::Kind::Array: {
      const auto& items = v.as_array();
      if (items.empty()) return rec::missing_field(tag_name);
      ValueDe de(items[0]);
      WW_TRY_ASSIGN(std::size_t tag, de.identifier(tags));
      return TaggedContent::in_place(tag, v, ValueMap::kNoSkip, 1);
    }
    default: break;
  }
  return rec::invalid_type(rec::Family::Json, unexpected_of(v), what);
}

}  // namespace tagged_detail

// The first step: the tag, read by `tags` (from text only as a name, from
// JSON held whole also as an index), and what follows it. `what` is the
// expecting text of anything but an object or array.
template <class D>
Result<TaggedContent> read_tagged(D& de, std::string_view tag_name, std::string_view what, rec::NameVisitor tags) {
  if constexpr (std::is_same_v<std::remove_cv_t<D>, ValueDe>) {
    return tagged_detail::tag_in_place(de.value(), tag_name, what, tags);
  } else {
    return de.any(tagged_detail::BufferVisitor{{}, tag_name, what, tags});
  }
}

template <class V>
Result<rec::OutOf<V>> TaggedContent::visit_rest(V&& v) const {
  const JsonValue& rest = record_ ? *record_ : owned_;
  rec::Ctx ctx{rec::Family::Json};
  if (rest.is(JsonValue::Kind::Object)) {
    ValueMap m(rest.as_object(), skip_);
    WW_TRY_ASSIGN(auto out, v.visit_map(ctx, m));
    WW_TRY(m.end());
    return out;
  }
  const auto& items = rest.as_array();
  ValueSeq s(items.data() + first_, items.data() + items.size());
  WW_TRY_ASSIGN(auto out, v.visit_seq(ctx, s));
  WW_TRY(s.end());
  return out;
}

// A kind without fields: an object's other members are ignored, an array
// must hold nothing after the tag.
struct TaggedUnitVisitor : rec::Visitor<TaggedUnitVisitor, bool> {
  std::string expecting() const { return "unit variant"; }
  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    for (;;) {
      WW_TRY_ASSIGN(bool more, map.next_key([](auto& kd) { return kd.ignored_any(); }));
      if (!more) return true;
      WW_TRY(map.next_value([](auto& de) { return de.ignored_any(); }));
    }
  }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S&) { return true; }
};

inline Status read_tagged_unit(const TaggedContent& content) {
  auto r = content.visit_rest(TaggedUnitVisitor{});
  if (!r.ok()) return r.take_error();
  return {};
}

}  // namespace ww::json
