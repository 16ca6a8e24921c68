// Readers of paths, operations and mutations over any deserializer. Each is
// tagged by its member "kind" and read in two steps (crdt/tagged_read.h):
// from text only a kind name is accepted, while a path segment inside an
// operation, built from the buffered members, may also name its kind by
// index. Unknown members are refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <variant>

#include "crdt/invariant.h"
#include "crdt/record_fields.h"
#include "crdt/reducer/crdt_ops.h"
#include "crdt/reducer/state_read.h"
#include "crdt/tagged_read.h"
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

// Every field is required but `after`, which an object may leave out.
constexpr std::uint64_t required_but_after(Fields fields) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] != "after") mask |= field_bit(i);
  }
  return mask;
}

constexpr RecordShape variant_shape(Fields fields, std::string_view expecting, std::string_view length_expecting) {
  return RecordShape{fields, expecting, length_expecting, true, required_but_after(fields), 0};
}

inline constexpr std::array<RecordShape, 3> kSegmentShapes = {
    variant_shape(kKey, "struct variant CrdtPathSegment::Key", "struct variant CrdtPathSegment::Key with 1 element"),
    variant_shape(kKey, "struct variant CrdtPathSegment::Member",
                  "struct variant CrdtPathSegment::Member with 1 element"),
    variant_shape(kId, "struct variant CrdtPathSegment::Element",
                  "struct variant CrdtPathSegment::Element with 1 element"),
};

inline constexpr std::array<RecordShape, 7> kOpShapes = {
    variant_shape(kDotPathValue, "struct variant CrdtOp::RegisterSet",
                  "struct variant CrdtOp::RegisterSet with 3 elements"),
    variant_shape(kDotPathKeyValue, "struct variant CrdtOp::MapSet", "struct variant CrdtOp::MapSet with 4 elements"),
    variant_shape(kDotPathKeyRemoved, "struct variant CrdtOp::MapRemove",
                  "struct variant CrdtOp::MapRemove with 4 elements"),
    variant_shape(kDotPathValue, "struct variant CrdtOp::SetAdd", "struct variant CrdtOp::SetAdd with 3 elements"),
    variant_shape(kDotPathKeyRemoved, "struct variant CrdtOp::SetRemove",
                  "struct variant CrdtOp::SetRemove with 4 elements"),
    variant_shape(kDotPathAfterValues, "struct variant CrdtOp::SequenceInsert",
                  "struct variant CrdtOp::SequenceInsert with 4 elements"),
    variant_shape(kDotPathIds, "struct variant CrdtOp::SequenceDelete",
                  "struct variant CrdtOp::SequenceDelete with 3 elements"),
};

inline constexpr std::array<RecordShape, 8> kMutationShapes = {
    variant_shape(kPathValue, "struct variant CrdtMutation::RegisterSet",
                  "struct variant CrdtMutation::RegisterSet with 2 elements"),
    variant_shape(kPathKeyValue, "struct variant CrdtMutation::MapSet",
                  "struct variant CrdtMutation::MapSet with 3 elements"),
    variant_shape(kPathKey, "struct variant CrdtMutation::MapRemove",
                  "struct variant CrdtMutation::MapRemove with 2 elements"),
    variant_shape(kPathValue, "struct variant CrdtMutation::SetAdd",
                  "struct variant CrdtMutation::SetAdd with 2 elements"),
    variant_shape(kPathKey, "struct variant CrdtMutation::SetRemove",
                  "struct variant CrdtMutation::SetRemove with 2 elements"),
    variant_shape(kPathAfterValues, "struct variant CrdtMutation::SequenceInsert",
                  "struct variant CrdtMutation::SequenceInsert with 3 elements"),
    variant_shape(kPathIds, "struct variant CrdtMutation::SequenceDelete",
                  "struct variant CrdtMutation::SequenceDelete with 2 elements"),
    variant_shape(kPathSplice, "struct variant CrdtMutation::SequenceSplice",
                  "struct variant CrdtMutation::SequenceSplice with 4 elements"),
};

// Reads the field `name` into the record; each name has one type wherever
// it appears.
template <class R, class D>
Status read_named_field(std::string_view name, R& r, D& de) {
  if constexpr (requires { r.dot; }) {
    if (name == "dot") {
      WW_TRY_ASSIGN(r.dot, read_dot(de));
      return {};
    }
  }
  if constexpr (requires { r.path; }) {
    if (name == "path") {
      WW_TRY_ASSIGN(r.path, read_crdt_path(de));
      return {};
    }
  }
  if constexpr (requires { r.value; }) {
    if (name == "value") {
      WW_TRY_ASSIGN(r.value, read_value(de));
      return {};
    }
  }
  if constexpr (requires { r.key; }) {
    if (name == "key") {
      WW_TRY_ASSIGN(r.key, rec::read_string(de));
      return {};
    }
  }
  if constexpr (requires { r.removed; }) {
    if (name == "removed") {
      WW_TRY_ASSIGN(r.removed, read_dot_list(de));
      return {};
    }
  }
  if constexpr (requires { r.after; }) {
    if (name == "after") {
      WW_TRY_ASSIGN(r.after, state_detail::read_option<ElementId>(de, [](auto& d) { return read_element_id(d); }));
      return {};
    }
  }
  if constexpr (requires { r.values; }) {
    if (name == "values") {
      WW_TRY_ASSIGN(r.values, state_detail::read_list<Value>(de, [](auto& d) { return read_value(d); }));
      return {};
    }
  }
  if constexpr (requires { r.ids; }) {
    if (name == "ids") {
      WW_TRY_ASSIGN(r.ids, state_detail::read_list<ElementId>(de, [](auto& d) { return read_element_id(d); }));
      return {};
    }
  }
  if constexpr (requires { r.index; }) {
    if (name == "index") {
      WW_TRY_ASSIGN(r.index, rec::read_u64(de));
      return {};
    }
  }
  if constexpr (requires { r.delete_count; }) {
    if (name == "delete_count") {
      WW_TRY_ASSIGN(r.delete_count, rec::read_u64(de));
      return {};
    }
  }
  if constexpr (requires { r.id; }) {
    if (name == "id") {
      WW_TRY_ASSIGN(r.id, read_element_id(de));
      return {};
    }
  }
  broken_invariant("a record shape names a field its record does not have");
}

template <class R>
Result<R> build_variant(const TaggedContent& content, const RecordShape& shape) {
  R r{};
  auto read = [&](std::size_t i, auto& d) -> Status { return read_named_field(shape.fields[i], r, d); };
  WW_TRY(content.visit_rest(FieldsVisitor(shape, read)));
  return r;
}

// The variant alternative that the tag names, built from the content.
template <class Variant, std::size_t... I>
Result<Variant> build_tagged(const TaggedContent& content, std::span<const RecordShape> shapes,
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
                                    std::span<const RecordShape> shapes) {
  WW_TRY_ASSIGN(TaggedContent content, read_tagged(de, "kind", what, kinds));
  return build_tagged<Variant>(content, shapes, std::make_index_sequence<std::variant_size_v<Variant>>{});
}

}  // namespace ops_detail

template <class D>
Result<CrdtPathSegment> read_path_segment(D& de) {
  WW_TRY_ASSIGN(TaggedContent content, read_tagged(de, "kind", "internally tagged enum CrdtPathSegment",
                                                   ops_detail::kSegmentKinds));
  auto kind = static_cast<CrdtPathSegment::Kind>(content.tag);
  CrdtPathSegment seg;
  seg.kind = kind;
  auto read = [&](std::size_t, auto& d) -> Status {
    if (kind == CrdtPathSegment::Kind::Element) {
      WW_TRY_ASSIGN(seg.id, read_element_id(d));
    } else {
      WW_TRY_ASSIGN(seg.key, rec::read_string(d));
    }
    return {};
  };
  WW_TRY(content.visit_rest(FieldsVisitor(ops_detail::kSegmentShapes[content.tag], read)));
  return seg;
}

template <class D>
Result<CrdtPath> read_crdt_path(D& de) {
  return state_detail::read_list<CrdtPathSegment>(de, [](auto& d) { return read_path_segment(d); });
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
