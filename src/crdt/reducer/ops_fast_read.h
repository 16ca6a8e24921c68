// Operations, mutations and paths read in one pass from JSON text when every
// record has its tag "kind" first (as this system writes them): no member is
// buffered. A text that takes another liberty (a tag further on, a segment
// kind given by index) or holds any fault is refused with an error of no
// meaning, and the caller reads it with the two-step readers of ops_read.h,
// whose messages and their order are the product. Both readers give the same
// records for every text that the one-pass reader accepts.
#pragma once

#include <cstddef>
#include <utility>
#include <variant>

#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/ops_read.h"
#include "format/json/tag_first.h"
#include "format/record/list.h"

namespace ww::crdt::reducer {

namespace ops_fast_detail {

template <class D>
Result<CrdtPathSegment> segment(D& de) {
  CrdtPathSegment seg;
  auto shape_of = [](std::size_t kind) -> const rec::RecordShape& { return ops_detail::kSegmentShapes[kind]; };
  auto begin = [&](std::size_t kind) { seg.kind = static_cast<CrdtPathSegment::Kind>(kind); };
  auto read = [&](std::size_t, std::size_t, auto& d) -> Status {
    if (seg.kind == CrdtPathSegment::Kind::Element) return rec::assign(seg.id, read_element_id(d));
    return rec::assign(seg.key, rec::read_string(d));
  };
  WW_TRY(json::read_tag_first(de, "kind", rec::variant_names(ops_detail::kSegmentKinds), shape_of, begin, read));
  return seg;
}

template <class D>
Result<CrdtPath> path(D& de) {
  return rec::read_list<CrdtPathSegment>(de, [](auto& d) { return segment(d); });
}

// A field as ops_detail::read_named_field reads it, but a path one pass too.
template <class R, class D>
Status field(std::string_view name, R& r, D& de) {
  if (name == "path") return rec::assign(r.path, path(de));
  return ops_detail::read_named_field(name, r, de);
}

// The variant alternative that the tag names, read field by field.
template <class Variant, class D>
Result<Variant> tagged(D& de, rec::Names kinds, std::span<const rec::RecordShape> shapes) {
  Variant out;
  auto shape_of = [&](std::size_t kind) -> const rec::RecordShape& { return shapes[kind]; };
  auto begin = [&](std::size_t kind) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      ((kind == I ? (void)out.template emplace<I>() : void()), ...);
    }(std::make_index_sequence<std::variant_size_v<Variant>>{});
  };
  auto read = [&](std::size_t kind, std::size_t i, auto& d) -> Status {
    return std::visit([&](auto& alt) { return field(shapes[kind].fields[i], alt, d); }, out);
  };
  WW_TRY(json::read_tag_first(de, "kind", rec::variant_names(kinds), shape_of, begin, read));
  return out;
}

}  // namespace ops_fast_detail

template <class D>
Result<CrdtOp> read_crdt_op_one_pass(D& de) {
  using V = decltype(CrdtOp::op);
  WW_TRY_ASSIGN(V op, ops_fast_detail::tagged<V>(de, ops_detail::kOpKinds, ops_detail::kOpShapes));
  return CrdtOp{std::move(op)};
}

template <class D>
Result<CrdtMutation> read_crdt_mutation_one_pass(D& de) {
  using V = decltype(CrdtMutation::mutation);
  WW_TRY_ASSIGN(V m, ops_fast_detail::tagged<V>(de, ops_detail::kMutationKinds, ops_detail::kMutationShapes));
  return CrdtMutation{std::move(m)};
}

}  // namespace ww::crdt::reducer
