// Reading a record with named fields, written once for every record of
// every format: as an object (a map) of named members in any order, or as an
// array of its field values in declaration order.
//
// A RecordShape describes the record; the caller supplies `read(i, de)`,
// which reads field i into the record being built. The result is the set of
// fields given (bit i for field i).
//
// Object form: each key names a field (by name, or as the format allows by
// bytes or index); an unknown key is refused or its value skipped; a field
// named twice fails with "duplicate field"; each value is read as it comes,
// so a member's own error comes before any "missing field", which is checked
// last, in declaration order.
// Array form: the fields in declaration order; fields with a default may be
// left out at the end, and an array that ends before any other fails with
// "invalid length <n>, expected struct X with N elements", n the position
// of the first field it lacks without a default. Surplus elements are the
// format's to refuse ("trailing characters" from text, "invalid length" from
// buffered or parsed JSON, "array had incorrect length" from MessagePack).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

constexpr std::uint64_t field_bit(std::size_t i) { return std::uint64_t{1} << i; }

// Bits 0 to n-1: every field of a record of n fields.
constexpr std::uint64_t every_field(std::size_t n) { return n >= 64 ? ~std::uint64_t{0} : field_bit(n) - 1; }

struct RecordShape {
  Names fields = {};                // declaration order, at most 64
  std::string_view expecting = {};  // "struct Dot", "struct variant Op::Move"
  std::uint64_t required = 0;       // an object without one of these: "missing field"
  std::uint64_t defaulted = 0;      // an array may end before these
  bool deny_unknown = false;        // an unknown member: "unknown field", else skipped
  // What a short array is told it lacks, when that is not "<expecting> with
  // N elements" (a few records say "with 1 elements").
  std::string_view length_expecting = {};

  std::string short_array_expecting() const {
    if (!length_expecting.empty()) return std::string(length_expecting);
    return with_elements(expecting, fields.size());
  }
};

template <class F>
struct FieldsVisitor : Visitor<FieldsVisitor<F>, std::uint64_t> {
  const RecordShape* shape;
  F* read;

  FieldsVisitor(const RecordShape& s, F& r) : shape(&s), read(&r) {}
  std::string expecting() const { return std::string(shape->expecting); }

  template <class M>
  Result<std::uint64_t> visit_map(Ctx, M& map) {
    const std::size_t n = shape->fields.size();
    std::uint64_t present = 0;
    for (;;) {
      std::size_t i = 0;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(i, kd.identifier(field_names(shape->fields, shape->deny_unknown)));
        return {};
      }));
      if (!more) break;
      if (i >= n) {
        WW_TRY(map.next_value([](auto& de) -> Status { return de.ignored_any(); }));
        continue;
      }
      if (present & field_bit(i)) return duplicate_field(shape->fields[i]);
      WW_TRY(map.next_value([&](auto& de) -> Status { return (*read)(i, de); }));
      present |= field_bit(i);
    }
    const std::uint64_t missing = shape->required & ~present;
    if (missing != 0) {
      for (std::size_t i = 0; i < n; ++i) {
        if (missing & field_bit(i)) return missing_field(shape->fields[i]);
      }
    }
    return present;
  }

  template <class S>
  Result<std::uint64_t> visit_seq(Ctx, S& seq) {
    const std::size_t n = shape->fields.size();
    for (std::size_t i = 0; i < n; ++i) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status { return (*read)(i, de); }));
      if (more) continue;
      // The array has ended: the first field left out without a default is
      // reported by its position.
      for (std::size_t j = i; j < n; ++j) {
        if (!(shape->defaulted & field_bit(j))) return invalid_length(j, shape->short_array_expecting());
      }
      return every_field(i);
    }
    return every_field(n);
  }
};

// Reads a record from `de` with `read(i, de)` for field i.
template <class D, class F>
Result<std::uint64_t> read_fields(D& de, const RecordShape& shape, F&& read) {
  return de.struct_(shape.expecting, shape.fields, FieldsVisitor<std::remove_reference_t<F>>(shape, read));
}

// Reads the fields of a kind of an externally tagged union, once its name
// has been read (`va` from the access object's variant()).
template <class VA, class F>
Result<std::uint64_t> read_variant_fields(VA& va, const RecordShape& shape, F&& read) {
  return va.struct_variant(shape.fields, FieldsVisitor<std::remove_reference_t<F>>(shape, read));
}

// Stores what a reader produced, or passes its error on.
template <class T, class U>
Status assign(T& target, Result<U> r) {
  if (!r.ok()) return r.take_error();
  target = r.take();
  return {};
}

// `read(i, de)` made of one reader per field, in declaration order; each is
// called as f(de) and returns a Status.
template <class... Fs>
class FieldReaders {
 public:
  explicit FieldReaders(Fs... fs) : fs_(std::move(fs)...) {}
  template <class D>
  Status operator()(std::size_t i, D& de) {
    return dispatch(i, de, std::index_sequence_for<Fs...>{});
  }

 private:
  template <class D, std::size_t... I>
  Status dispatch(std::size_t i, D& de, std::index_sequence<I...>) {
    Status s;
    (void)((i == I ? (s = std::get<I>(fs_)(de), true) : false) || ...);
    return s;
  }
  std::tuple<Fs...> fs_;
};

template <class... Fs>
FieldReaders<Fs...> fields(Fs... fs) {
  return FieldReaders<Fs...>(std::move(fs)...);
}

}  // namespace ww::rec
