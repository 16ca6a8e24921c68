// Readers of paths, operations and mutations over any deserializer. Each is
// tagged by its member "kind" and read in two steps (format/json/tagged.h):
// from text only a kind name is accepted, while a path segment inside an
// operation, built from the buffered members, may also name its kind by
// index. Unknown members are refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "crdt/invariant.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/state_read.h"
#include "format/json/tagged.h"
#include "format/record/fields.h"
#include "format/record/list.h"
#include "format/record/option.h"
#include "value/value_read.h"

namespace ww::crdt::reducer {

template <class D> Result<CrdtPathSegment> read_path_segment(D& de);
template <class D> Result<CrdtPath> read_crdt_path(D& de);
template <class D> Result<CrdtOp> read_crdt_op(D& de);
template <class D> Result<CrdtMutation> read_crdt_mutation(D& de);

namespace ops_detail {

using Fields = std::span<const std::string_view>;

inline constexpr std::array<std::string_view, 3> kSegmentKinds = {"key", "member", "element"};
inline constexpr std::array<std::string_view, 7> kOpKinds = {
    "register_set", "map_set", "map_remove", "set_add", "set_remove", "sequence_insert", "sequence_delete"};
inline constexpr std::array<std::string_view, 8> kMutationKinds = {
    "register_set", "map_set",         "map_remove",      "set_add",
    "set_remove",   "sequence_insert", "sequence_delete", "sequence_splice"};

inline constexpr std::array<std::string_view, 1> kKey = {"key"};
inline constexpr std::array<std::string_view, 1> kId = {"id"};

inline constexpr std::array<std::string_view, 3> kDotPathValue = {"dot", "path", "value"};
inline constexpr std::array<std::string_view, 4> kDotPathKeyValue = {"dot", "path", "key", "value"};
inline constexpr std::array<std::string_view, 4> kDotPathKeyRemoved = {"dot", "path", "key", "removed"};
inline constexpr std::array<std::string_view, 4> kDotPathAfterValues = {"dot", "path", "after", "values"};
inline constexpr std::array<std::string_view, 3> kDotPathIds = {"dot", "path", "ids"};

inline constexpr std::array<std::string_view, 2> kPathValue = {"path", "value"};
inline constexpr std::array<std::string_view, 3> kPathKeyValue = {"path", "key", "value"};
inline constexpr std::array<std::string_view, 2> kPathKey = {"path", "key"};
inline constexpr std::array<std::string_view, 3> kPathAfterValues = {"path", "after", "values"};
inline constexpr std::array<std::string_view, 2> kPathIds = {"path", "ids"};
inline constexpr std::array<std::string_view, 4> kPathSplice = {"path", "index", "delete_count", "values"};

// Every field is required but `after`, which an object may leave out;
// unknown members are refused.
constexpr rec::RecordShape variant_shape(Fields fields, std::string_view expecting) {
  std::uint64_t required = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] != "after") required |= rec::field_bit(i);
  }
  return rec::RecordShape{.fields = fields, .expecting = expecting, .required = required, .deny_unknown = true};
}

inline constexpr std::array<rec::RecordShape, 3> kSegmentShapes = {
    variant_shape(kKey, "struct variant CrdtPathSegment::Key"),
    variant_shape(kKey, "struct variant CrdtPathSegment::Member"),
    variant_shape(kId, "struct variant CrdtPathSegment::Element"),
};

inline constexpr std::array<rec::RecordShape, 7> kOpShapes = {
    variant_shape(kDotPathValue, "struct variant CrdtOp::RegisterSet"),
    variant_shape(kDotPathKeyValue, "struct variant CrdtOp::MapSet"),
    variant_shape(kDotPathKeyRemoved, "struct variant CrdtOp::MapRemove"),
    variant_shape(kDotPathValue, "struct variant CrdtOp::SetAdd"),
    variant_shape(kDotPathKeyRemoved, "struct variant CrdtOp::SetRemove"),
    variant_shape(kDotPathAfterValues, "struct variant CrdtOp::SequenceInsert"),
    variant_shape(kDotPathIds, "struct variant CrdtOp::SequenceDelete"),
};

inline constexpr std::array<rec::RecordShape, 8> kMutationShapes = {
    variant_shape(kPathValue, "struct variant CrdtMutation::RegisterSet"),
    variant_shape(kPathKeyValue, "struct variant CrdtMutation::MapSet"),
    variant_shape(kPathKey, "struct variant CrdtMutation::MapRemove"),
    variant_shape(kPathValue, "struct variant CrdtMutation::SetAdd"),
    variant_shape(kPathKey, "struct variant CrdtMutation::SetRemove"),
    variant_shape(kPathAfterValues, "struct variant CrdtMutation::SequenceInsert"),
    variant_shape(kPathIds, "struct variant CrdtMutation::SequenceDelete"),
    variant_shape(kPathSplice, "struct variant CrdtMutation::SequenceSplice"),
};

// How each field type is read.
template <class D> Status read_as(D& de, Dot& out) { return rec::assign(out, read_dot(de)); }
template <class D> Status read_as(D& de, ElementId& out) { return rec::assign(out, read_element_id(de)); }
template <class D> Status read_as(D& de, CrdtPath& out) { return rec::assign(out, read_crdt_path(de)); }
template <class D> Status read_as(D& de, Value& out) { return rec::assign(out, read_value(de)); }
template <class D> Status read_as(D& de, std::string& out) { return rec::assign(out, rec::read_string(de)); }
template <class D> Status read_as(D& de, std::uint64_t& out) { return rec::assign(out, rec::read_u64(de)); }
template <class D> Status read_as(D& de, std::vector<Dot>& out) { return rec::assign(out, read_dot_list(de)); }
template <class D>
Status read_as(D& de, std::vector<Value>& out) {
  return rec::assign(out, rec::read_list<Value>(de, value_read::ReadValue{}));
}
template <class D>
Status read_as(D& de, std::vector<ElementId>& out) {
  return rec::assign(out, rec::read_list<ElementId>(de, state_detail::ReadElementId{}));
}
template <class D>
Status read_as(D& de, std::optional<ElementId>& out) {
  return rec::read_option(de, state_detail::ReadElementId{}, out);
}

// Reads the field `name` into the record; each name has one type wherever
// it appears.
template <class R, class D>
Status read_named_field(std::string_view name, R& r, D& de) {
  if constexpr (requires { r.dot; }) { if (name == "dot") return read_as(de, r.dot); }
  if constexpr (requires { r.path; }) { if (name == "path") return read_as(de, r.path); }
  if constexpr (requires { r.value; }) { if (name == "value") return read_as(de, r.value); }
  if constexpr (requires { r.key; }) { if (name == "key") return read_as(de, r.key); }
  if constexpr (requires { r.removed; }) { if (name == "removed") return read_as(de, r.removed); }
  if constexpr (requires { r.after; }) { if (name == "after") return read_as(de, r.after); }
  if constexpr (requires { r.values; }) { if (name == "values") return read_as(de, r.values); }
  if constexpr (requires { r.ids; }) { if (name == "ids") return read_as(de, r.ids); }
  if constexpr (requires { r.index; }) { if (name == "index") return read_as(de, r.index); }
  if constexpr (requires { r.delete_count; }) { if (name == "delete_count") return read_as(de, r.delete_count); }
  if constexpr (requires { r.id; }) { if (name == "id") return read_as(de, r.id); }
  broken_invariant("a record shape names a field its record does not have");
}

template <class R>
Result<R> build_variant(const json::TaggedContent& content, const rec::RecordShape& shape) {
  R r{};
  WW_TRY(content.read_fields(shape, [&](std::size_t i, auto& d) { return read_named_field(shape.fields[i], r, d); }));
  return r;
}

// The variant alternative that the tag names, built from the content.
template <class Variant, std::size_t... I>
Result<Variant> build_tagged(const json::TaggedContent& content, std::span<const rec::RecordShape> shapes,
                             std::index_sequence<I...>) {
  Result<Variant> out = Error::custom("unknown tag");
  auto build = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
    using Alt = std::variant_alternative_t<K, Variant>;
    auto r = build_variant<Alt>(content, shapes[K]);
    if (r.ok()) {
      out = Variant(std::in_place_index<K>, r.take());
    } else {
      out = r.take_error();
    }
  };
  ((content.tag == I ? build(std::integral_constant<std::size_t, I>{}) : void()), ...);
  return out;
}

template <class Variant, class D>
Result<Variant> read_tagged_variant(D& de, std::string_view what, rec::Names kinds,
                                    std::span<const rec::RecordShape> shapes) {
  WW_TRY_ASSIGN(json::TaggedContent content, json::read_tagged(de, "kind", what, rec::variant_names(kinds)));
  return build_tagged<Variant>(content, shapes, std::make_index_sequence<std::variant_size_v<Variant>>{});
}

}  // namespace ops_detail

template <class D>
Result<CrdtPathSegment> read_path_segment(D& de) {
  WW_TRY_ASSIGN(json::TaggedContent content,
                json::read_tagged(de, "kind", "internally tagged enum CrdtPathSegment",
                                  rec::variant_names(ops_detail::kSegmentKinds)));
  CrdtPathSegment seg;
  seg.kind = static_cast<CrdtPathSegment::Kind>(content.tag);
  WW_TRY(content.read_fields(ops_detail::kSegmentShapes[content.tag], [&](std::size_t, auto& d) {
    if (seg.kind == CrdtPathSegment::Kind::Element) return rec::assign(seg.id, read_element_id(d));
    return rec::assign(seg.key, rec::read_string(d));
  }));
  return seg;
}

template <class D>
Result<CrdtPath> read_crdt_path(D& de) {
  return rec::read_list<CrdtPathSegment>(de, [](auto& d) { return read_path_segment(d); });
}

template <class D>
Result<CrdtOp> read_crdt_op(D& de) {
  using V = decltype(CrdtOp::op);
  WW_TRY_ASSIGN(V op, ops_detail::read_tagged_variant<V>(de, "internally tagged enum CrdtOp", ops_detail::kOpKinds,
                                                          ops_detail::kOpShapes));
  return CrdtOp{std::move(op)};
}

template <class D>
Result<CrdtMutation> read_crdt_mutation(D& de) {
  using V = decltype(CrdtMutation::mutation);
  WW_TRY_ASSIGN(V m, ops_detail::read_tagged_variant<V>(de, "internally tagged enum CrdtMutation",
                                                         ops_detail::kMutationKinds, ops_detail::kMutationShapes));
  return CrdtMutation{std::move(m)};
}

}  // namespace ww::crdt::reducer
