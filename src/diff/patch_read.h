// The readers of PathSeg, Op and Patch, written once over every
// deserializer (see format/record/visitor.h). A patch is a record of `rev`
// and `ops` with unknown fields skipped; an operation is an externally
// tagged union whose kinds carry named fields (an object of named members,
// unknown ones skipped, or an array in declaration order); a path step is an
// externally tagged union of one-payload kinds. Everything a format does
// differently (positions, surplus elements, names given as bytes or
// indexes) comes from its deserializer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diff/patch.h"
#include "format/record/fields.h"
#include "format/record/list.h"
#include "format/record/tagged_union.h"
#include "format/record/visitor.h"
#include "value/value_read.h"

namespace ww {

template <class D>
Result<PathSeg> read_path_seg(D& de);
template <class D>
Result<Path> read_path(D& de);
template <class D>
Result<Op> read_op(D& de);
template <class D>
Result<std::vector<Op>> read_ops(D& de);
template <class D>
Result<Patch> read_patch(D& de);

namespace patch_read {

struct ReadPosition {
  template <class D>
  Result<std::uint64_t> operator()(D& d) const { return rec::read_u64(d, "usize"); }
};
struct ReadPathSeg {
  template <class D>
  Result<PathSeg> operator()(D& d) const { return read_path_seg(d); }
};
struct ReadOp {
  template <class D>
  Result<Op> operator()(D& d) const { return read_op(d); }
};

// ---- the fields of an operation ----

enum class Field : std::uint8_t { Path, Value, Index, From, To, Order };

// A kind's fields in declaration order: their names and what they hold.
struct KindFields {
  rec::RecordShape shape;
  std::span<const Field> fields;
};

inline constexpr std::array<std::string_view, 2> kSetNames = {"path", "value"};
inline constexpr std::array<std::string_view, 1> kRemoveNames = {"path"};
inline constexpr std::array<std::string_view, 3> kInsertNames = {"path", "index", "value"};
inline constexpr std::array<std::string_view, 2> kRemoveAtNames = {"path", "index"};
inline constexpr std::array<std::string_view, 3> kMoveNames = {"path", "from", "to"};
inline constexpr std::array<std::string_view, 2> kReorderNames = {"path", "order"};

inline constexpr std::array<Field, 2> kSetFields = {Field::Path, Field::Value};
inline constexpr std::array<Field, 1> kRemoveFields = {Field::Path};
inline constexpr std::array<Field, 3> kInsertFields = {Field::Path, Field::Index, Field::Value};
inline constexpr std::array<Field, 2> kRemoveAtFields = {Field::Path, Field::Index};
inline constexpr std::array<Field, 3> kMoveFields = {Field::Path, Field::From, Field::To};
inline constexpr std::array<Field, 2> kReorderFields = {Field::Path, Field::Order};

// Every field is required; unknown members are skipped. In Op::Kind order.
inline constexpr std::array<KindFields, 6> kKinds = {{
    {{kSetNames, "struct variant Op::Set", rec::every_field(2)}, kSetFields},
    {{kRemoveNames, "struct variant Op::Remove", rec::every_field(1)}, kRemoveFields},
    {{kInsertNames, "struct variant Op::Insert", rec::every_field(3)}, kInsertFields},
    {{kRemoveAtNames, "struct variant Op::RemoveAt", rec::every_field(2)}, kRemoveAtFields},
    {{kMoveNames, "struct variant Op::Move", rec::every_field(3)}, kMoveFields},
    {{kReorderNames, "struct variant Op::Reorder", rec::every_field(2)}, kReorderFields},
}};

// The fields read so far.
struct Slots {
  std::optional<Path> path;
  std::optional<Value> value;
  std::optional<std::uint64_t> index, from, to;
  std::optional<std::vector<std::uint64_t>> order;

  template <class D>
  Status read(D& d, Field f) {
    switch (f) {
      case Field::Path: return rec::assign(path, read_path(d));
      case Field::Value: return rec::assign(value, read_value(d));
      case Field::Index: return rec::assign(index, ReadPosition{}(d));
      case Field::From: return rec::assign(from, ReadPosition{}(d));
      case Field::To: return rec::assign(to, ReadPosition{}(d));
      case Field::Order: break;
    }
    return rec::assign(order, rec::read_list<std::uint64_t>(d, ReadPosition{}));
  }

  // Every field of the kind has been read.
  Op build(Op::Kind kind) {
    switch (kind) {
      case Op::Kind::Set: return Op::Set{std::move(*path), std::move(*value)};
      case Op::Kind::Remove: return Op::Remove{std::move(*path)};
      case Op::Kind::Insert: return Op::Insert{std::move(*path), *index, std::move(*value)};
      case Op::Kind::RemoveAt: return Op::RemoveAt{std::move(*path), *index};
      case Op::Kind::Move: return Op::Move{std::move(*path), *from, *to};
      case Op::Kind::Reorder: break;
    }
    return Op::Reorder{std::move(*path), std::move(*order)};
  }
};

// One instance per kind, so that each kind's fields are known constants.
template <Op::Kind K, class VA>
Result<Op> read_op_fields(VA& va) {
  constexpr const KindFields& k = kKinds[static_cast<std::size_t>(K)];
  Slots slots;
  WW_TRY(rec::read_variant_fields(va, k.shape, [&](std::size_t i, auto& d) { return slots.read(d, k.fields[i]); }));
  return slots.build(K);
}

inline constexpr std::array<std::string_view, 2> kPatchNames = {"rev", "ops"};
inline constexpr rec::RecordShape kPatchShape{kPatchNames, "struct Patch", rec::every_field(2)};

}  // namespace patch_read

template <class D>
Result<PathSeg> read_path_seg(D& de) {
  return rec::read_union<PathSeg, kPathSegKindNames>(de, "PathSeg", [](std::size_t kind, auto& va) -> Result<PathSeg> {
    PathSeg out;
    WW_TRY(va.newtype([&](auto& d) -> Status {
      if (kind == 0) {
        WW_TRY_ASSIGN(std::string k, rec::read_string(d));
        out = PathSeg::key(std::move(k));
      } else {
        WW_TRY_ASSIGN(std::uint64_t i, patch_read::ReadPosition{}(d));
        out = PathSeg::index(i);
      }
      return {};
    }));
    return out;
  });
}

template <class D>
Result<Path> read_path(D& de) {
  return rec::read_list<PathSeg>(de, patch_read::ReadPathSeg{});
}

template <class D>
Result<Op> read_op(D& de) {
  return rec::read_union<Op, kOpKindNames>(de, "Op", [](std::size_t kind, auto& va) -> Result<Op> {
    using patch_read::read_op_fields;
    switch (static_cast<Op::Kind>(kind)) {
      case Op::Kind::Set: return read_op_fields<Op::Kind::Set>(va);
      case Op::Kind::Remove: return read_op_fields<Op::Kind::Remove>(va);
      case Op::Kind::Insert: return read_op_fields<Op::Kind::Insert>(va);
      case Op::Kind::RemoveAt: return read_op_fields<Op::Kind::RemoveAt>(va);
      case Op::Kind::Move: return read_op_fields<Op::Kind::Move>(va);
      case Op::Kind::Reorder: break;
    }
    return read_op_fields<Op::Kind::Reorder>(va);
  });
}

template <class D>
Result<std::vector<Op>> read_ops(D& de) {
  return rec::read_list<Op>(de, patch_read::ReadOp{});
}

template <class D>
Result<Patch> read_patch(D& de) {
  Patch out;
  WW_TRY(rec::read_fields(de, patch_read::kPatchShape,
                          rec::fields([&](auto& d) { return rec::assign(out.rev, rec::read_u64(d, "u64")); },
                                      [&](auto& d) { return rec::assign(out.ops, read_ops(d)); })));
  return out;
}

}  // namespace ww
