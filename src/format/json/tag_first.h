// Reading a record tagged by a member inside it in one pass, when the tag
// stands first (as this system writes its records): the tag, then the fields
// of the kind it names straight from the text, with no buffering.
//
// This is a fast path only. A record whose first member is not the tag fails
// here, and so does every record that read_tagged's two steps would refuse,
// but with errors of its own: a caller that gets an error reads the text
// again with the two steps, which take the tag wherever it stands and give
// every error its exact text and place. So both ways give the same records.
// A kind that skips unknown members could not tell a second tag member here:
// its records are always left to the two steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "format/record/fields.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::json {

namespace tag_first_detail {

// Whether a key is the tag's name; the text is only looked at.
struct IsName : rec::Visitor<IsName, bool> {
  static constexpr bool kBorrowsStr = true;
  std::string_view name;
  std::string expecting() const { return "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) const { return v == name; }
};

// `shape_of(kind)` gives the kind's record shape, `begin(kind)` starts the
// record once the tag is known, `read(kind, i, de)` reads field i.
template <class ShapeOf, class Begin, class Read>
struct TagFirstVisitor : rec::Visitor<TagFirstVisitor<ShapeOf, Begin, Read>, std::size_t> {
  std::string_view tag_name;
  rec::NameVisitor tags;
  ShapeOf* shape_of;
  Begin* begin;
  Read* read;

  std::string expecting() const { return "a record tagged first"; }

  template <class M>
  Result<std::size_t> visit_map(rec::Ctx c, M& map) {
    bool tag_first = false;
    WW_TRY_ASSIGN(bool any, map.next_key([&](auto& kd) -> Status {
      WW_TRY_ASSIGN(tag_first, kd.str(IsName{{}, tag_name}));
      return {};
    }));
    if (!any || !tag_first) return rec::custom("the tag does not stand first");
    std::size_t kind = 0;
    WW_TRY(map.next_value([&](auto& de) -> Status {
      WW_TRY_ASSIGN(kind, de.identifier(tags));
      return {};
    }));
    if (!(*shape_of)(kind).deny_unknown) return rec::custom("a kind that skips unknown members");
    WW_TRY(fields(kind).visit_map(c, map));
    return kind;
  }

  template <class S>
  Result<std::size_t> visit_seq(rec::Ctx c, S& seq) {
    std::size_t kind = 0;
    WW_TRY_ASSIGN(bool any, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(kind, de.identifier(tags));
      return {};
    }));
    if (!any) return rec::custom("the tag does not stand first");
    if (!(*shape_of)(kind).deny_unknown) return rec::custom("a kind that skips unknown members");
    WW_TRY(fields(kind).visit_seq(c, seq));
    return kind;
  }

 private:
  auto fields(std::size_t kind) {
    const rec::RecordShape& shape = (*shape_of)(kind);
    (*begin)(kind);
    auto field = [this, kind](std::size_t i, auto& de) -> Status { return (*read)(kind, i, de); };
    return FieldsOf<decltype(field)>(shape, std::move(field));
  }

  // A FieldsVisitor that owns its field reader.
  template <class F>
  struct FieldsOf {
    F read;
    rec::FieldsVisitor<F> visitor;
    FieldsOf(const rec::RecordShape& shape, F f) : read(std::move(f)), visitor(shape, read) {}
    FieldsOf(const FieldsOf&) = delete;
    template <class M>
    Result<std::uint64_t> visit_map(rec::Ctx c, M& map) { return visitor.visit_map(c, map); }
    template <class S>
    Result<std::uint64_t> visit_seq(rec::Ctx c, S& seq) { return visitor.visit_seq(c, seq); }
  };
};

}  // namespace tag_first_detail

// The kind read, once the record's fields are read.
template <class De, class ShapeOf, class Begin, class Read>
Result<std::size_t> read_tag_first(De& de, std::string_view tag_name, rec::NameVisitor tags, ShapeOf&& shape_of,
                                   Begin&& begin, Read&& read) {
  using V = tag_first_detail::TagFirstVisitor<std::remove_reference_t<ShapeOf>, std::remove_reference_t<Begin>,
                                              std::remove_reference_t<Read>>;
  return de.any(V{{}, tag_name, tags, &shape_of, &begin, &read});
}

}  // namespace ww::json
