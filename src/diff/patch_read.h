// The readers of PathSeg, Op and Patch, written once over every
// deserializer (see format/record/visitor.h). They behave as derived record
// code would: a patch is a record of `rev` and `ops` with unknown fields
// skipped; an operation is an externally tagged union whose kinds carry
// named fields (an object of named members or an array in declaration
// order); a path step is an externally tagged union of one-payload kinds.
// Everything a format does differently (positions, surplus elements, names
// given as bytes or indexes) comes from its deserializer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diff/patch.h"
#include "format/record/struct_visitor.h"
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

// A list of T, each element read by Read{}(de): "a sequence".
template <class T, class Read>
struct SeqVisitor : rec::Visitor<SeqVisitor<T, Read>, std::vector<T>> {
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<std::vector<T>> visit_seq(rec::Ctx, S& seq) {
    std::vector<T> items;
    items.reserve(cautious_reserve<T>(seq.size_hint()));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& d) -> Status {
        WW_TRY_ASSIGN(T item, Read{}(d));
        items.push_back(std::move(item));
        return {};
      }));
      if (!more) return items;
    }
  }
};

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

using PathVisitor = SeqVisitor<PathSeg, ReadPathSeg>;
using OrderVisitor = SeqVisitor<std::uint64_t, ReadPosition>;
using OpsVisitor = SeqVisitor<Op, ReadOp>;

struct PathSegVisitor : rec::Visitor<PathSegVisitor, PathSeg> {
  std::string expecting() const { return "enum PathSeg"; }
  template <class E>
  Result<PathSeg> visit_enum(rec::Ctx, E& e) {
    std::size_t kind = 0;
    WW_TRY_ASSIGN(auto va, e.variant([&](auto& id) -> Status {
      WW_TRY_ASSIGN(kind, id.identifier(rec::variant_names(kPathSegKindNames)));
      return {};
    }));
    PathSeg out;
    WW_TRY(va.newtype([&](auto& d) -> Status {
      if (kind == 0) {
        WW_TRY_ASSIGN(std::string k, rec::read_string(d));
        out = PathSeg::key(std::move(k));
      } else {
        WW_TRY_ASSIGN(std::uint64_t i, rec::read_u64(d, "usize"));
        out = PathSeg::index(i);
      }
      return {};
    }));
    return out;
  }
};

// ---- the fields of an operation ----

enum class Field : std::uint8_t { Path, Value, Index, From, To, Order };

// Each kind's fields in declaration order: their names and what they hold.
template <Op::Kind K>
struct KindFields;
template <>
struct KindFields<Op::Kind::Set> {
  static constexpr std::array<std::string_view, 2> kNames = {"path", "value"};
  static constexpr std::array<Field, 2> kFields = {Field::Path, Field::Value};
};
template <>
struct KindFields<Op::Kind::Remove> {
  static constexpr std::array<std::string_view, 1> kNames = {"path"};
  static constexpr std::array<Field, 1> kFields = {Field::Path};
};
template <>
struct KindFields<Op::Kind::Insert> {
  static constexpr std::array<std::string_view, 3> kNames = {"path", "index", "value"};
  static constexpr std::array<Field, 3> kFields = {Field::Path, Field::Index, Field::Value};
};
template <>
struct KindFields<Op::Kind::RemoveAt> {
  static constexpr std::array<std::string_view, 2> kNames = {"path", "index"};
  static constexpr std::array<Field, 2> kFields = {Field::Path, Field::Index};
};
template <>
struct KindFields<Op::Kind::Move> {
  static constexpr std::array<std::string_view, 3> kNames = {"path", "from", "to"};
  static constexpr std::array<Field, 3> kFields = {Field::Path, Field::From, Field::To};
};
template <>
struct KindFields<Op::Kind::Reorder> {
  static constexpr std::array<std::string_view, 2> kNames = {"path", "order"};
  static constexpr std::array<Field, 2> kFields = {Field::Path, Field::Order};
};

// The fields read so far.
struct Slots {
  std::optional<Path> path;
  std::optional<Value> value;
  std::optional<std::uint64_t> index, from, to;
  std::optional<std::vector<std::uint64_t>> order;

  template <class D>
  Status read(D& d, Field f) {
    switch (f) {
      case Field::Path: {
        WW_TRY_ASSIGN(path, read_path(d));
        return {};
      }
      case Field::Value: {
        WW_TRY_ASSIGN(value, read_value(d));
        return {};
      }
      case Field::Index: {
        WW_TRY_ASSIGN(index, rec::read_u64(d, "usize"));
        return {};
      }
      case Field::From: {
        WW_TRY_ASSIGN(from, rec::read_u64(d, "usize"));
        return {};
      }
      case Field::To: {
        WW_TRY_ASSIGN(to, rec::read_u64(d, "usize"));
        return {};
      }
      case Field::Order: break;
    }
    WW_TRY_ASSIGN(order, d.seq(OrderVisitor{}));
    return {};
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

// The fields of one kind: named members (unknown ones skipped) or an array
// in declaration order.
template <Op::Kind K>
struct OpFieldsVisitor : rec::StructVisitor<OpFieldsVisitor<K>, Op> {
  static constexpr auto kFields = KindFields<K>::kNames;
  static constexpr bool kDenyUnknown = false;
  Slots slots;

  std::string expecting() const {
    return std::string("struct variant Op::") += kOpKindNames[static_cast<std::size_t>(K)];
  }
  template <class D>
  Status read_field(std::size_t i, D& de) { return slots.read(de, KindFields<K>::kFields[i]); }
  Result<Op> finish(std::uint64_t present) {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
      if (!this->has(present, i)) return this->missing(i);
    }
    return slots.build(K);
  }
};

struct OpVisitor : rec::Visitor<OpVisitor, Op> {
  std::string expecting() const { return "enum Op"; }
  template <class E>
  Result<Op> visit_enum(rec::Ctx, E& e) {
    std::size_t kind = 0;
    WW_TRY_ASSIGN(auto va, e.variant([&](auto& id) -> Status {
      WW_TRY_ASSIGN(kind, id.identifier(rec::variant_names(kOpKindNames)));
      return {};
    }));
    switch (static_cast<Op::Kind>(kind)) {
      case Op::Kind::Set: return fields<Op::Kind::Set>(va);
      case Op::Kind::Remove: return fields<Op::Kind::Remove>(va);
      case Op::Kind::Insert: return fields<Op::Kind::Insert>(va);
      case Op::Kind::RemoveAt: return fields<Op::Kind::RemoveAt>(va);
      case Op::Kind::Move: return fields<Op::Kind::Move>(va);
      case Op::Kind::Reorder: break;
    }
    return fields<Op::Kind::Reorder>(va);
  }

 private:
  template <Op::Kind K, class VA>
  static Result<Op> fields(VA& va) {
    return va.struct_variant(KindFields<K>::kNames, OpFieldsVisitor<K>{});
  }
};

// ---- the patch record ----

struct PatchVisitor : rec::StructVisitor<PatchVisitor, Patch> {
  static constexpr std::array<std::string_view, 2> kFields = {"rev", "ops"};
  static constexpr bool kDenyUnknown = false;
  Patch out;

  std::string expecting() const { return "struct Patch"; }
  template <class D>
  Status read_field(std::size_t i, D& de) {
    if (i == 0) {
      WW_TRY_ASSIGN(out.rev, rec::read_u64(de, "u64"));
    } else {
      WW_TRY_ASSIGN(out.ops, read_ops(de));
    }
    return {};
  }
  Result<Patch> finish(std::uint64_t present) {
    if (!has(present, 0)) return missing(0);
    if (!has(present, 1)) return missing(1);
    return std::move(out);
  }
};

}  // namespace patch_read

template <class D>
Result<PathSeg> read_path_seg(D& de) {
  return de.enum_("PathSeg", kPathSegKindNames, patch_read::PathSegVisitor{});
}

template <class D>
Result<Path> read_path(D& de) {
  return de.seq(patch_read::PathVisitor{});
}

template <class D>
Result<Op> read_op(D& de) {
  return de.enum_("Op", kOpKindNames, patch_read::OpVisitor{});
}

template <class D>
Result<std::vector<Op>> read_ops(D& de) {
  return de.seq(patch_read::OpsVisitor{});
}

template <class D>
Result<Patch> read_patch(D& de) {
  return de.struct_("Patch", patch_read::PatchVisitor::kFields, patch_read::PatchVisitor{});
}

}  // namespace ww
