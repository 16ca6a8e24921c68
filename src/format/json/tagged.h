// Records tagged by a member inside them ({"t":"ack",...}, {"kind":"map",...}).
//
// They are read in two steps. First the object (or array) is read whole:
// the tag member, wherever it stands, is interpreted at once through the
// tag's identifier visitor, and every other member is buffered in input
// order with its repeats. Then the kind's record is built from the buffered
// members through json::ValueDe, so its errors carry no position of their
// own; a JSON text reader still open around the record attaches one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "format/json/json_value.h"
#include "format/json/json_value_read.h"
#include "format/json/value_de.h"
#include "format/record/visitor.h"

namespace ww::json {

template <class Tag>
struct Tagged {
  Tag tag;
  JsonValue rest;  // an object (the other members) or an array (the other elements)
};

template <class TagVisitor>
struct TaggedVisitor : rec::Visitor<TaggedVisitor<TagVisitor>, Tagged<rec::OutOf<TagVisitor>>> {
  using Tag = rec::OutOf<TagVisitor>;
  using Out = Tagged<Tag>;
  std::string_view tag_name;
  std::string_view type_name;
  TagVisitor tag_visitor;

  std::string expecting() const { return "internally tagged enum " + std::string(type_name); }

  template <class M>
  Result<Out> visit_map(rec::Ctx, M& map) {
    std::optional<Tag> tag;
    JsonValue::Object rest;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) break;
      if (key == tag_name) {
        if (tag) return rec::duplicate_field(tag_name);
        WW_TRY(map.next_value([&](auto& de) -> Status {
          WW_TRY_ASSIGN(tag, de.identifier(tag_visitor));
          return {};
        }));
      } else {
        WW_TRY(map.next_value([&](auto& de) -> Status {
          WW_TRY_ASSIGN(JsonValue v, read_buffered(de));
          rest.emplace_back(std::move(key), std::move(v));
          return {};
        }));
      }
    }
    if (!tag) return rec::missing_field(tag_name);
    return Out{std::move(*tag), JsonValue::object(std::move(rest))};
  }

  template <class S>
  Result<Out> visit_seq(rec::Ctx, S& seq) {
    std::optional<Tag> tag;
    WW_TRY_ASSIGN(bool first, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(tag, de.identifier(tag_visitor));
      return {};
    }));
    if (!first) return rec::missing_field(tag_name);
    JsonValue::Array rest;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(JsonValue v, read_buffered(de));
        rest.push_back(std::move(v));
        return {};
      }));
      if (!more) break;
    }
    return Out{std::move(*tag), JsonValue::array(std::move(rest))};
  }
};

// The first step: the tag and the buffered rest.
template <class D, class TagVisitor>
Result<Tagged<rec::OutOf<TagVisitor>>> read_tagged(D& de, std::string_view tag_name, std::string_view type_name,
                                                   TagVisitor tag_visitor) {
  return de.any(TaggedVisitor<TagVisitor>{{}, tag_name, type_name, std::move(tag_visitor)});
}

// A kind without fields: an object's members are ignored, an array must be empty.
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

inline Status read_tagged_unit(const JsonValue& rest) {
  ValueDe de(rest);
  auto r = de.any(TaggedUnitVisitor{});
  if (!r.ok()) return r.take_error();
  return {};
}

}  // namespace ww::json
