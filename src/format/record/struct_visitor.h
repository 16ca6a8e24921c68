// Reading a record with named fields, as an object of named members (any
// order; repeats refused; unknown members skipped or refused) or as an array
// of its field values in declaration order.
//
// Self provides:
//   static constexpr std::array<std::string_view, N> kFields;  (declaration order)
//   static constexpr bool kDenyUnknown;
//   std::string expecting() const;        ("struct Patch", "struct variant Op::Move")
//   template <class D> Status read_field(std::size_t i, D& de);
//   Result<T> finish(std::uint64_t present);  checks required fields in
//       declaration order with missing(i) and builds the record
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "format/record/visitor.h"

namespace ww::rec {

template <class Self, class T>
struct StructVisitor : Visitor<Self, T> {
  Self& self() { return static_cast<Self&>(*this); }

  static Error missing(std::size_t i) { return missing_field(Self::kFields[i]); }
  static constexpr bool has(std::uint64_t present, std::size_t i) { return (present >> i) & 1u; }

  template <class M>
  Result<T> visit_map(Ctx, M& map) {
    std::uint64_t present = 0;
    for (;;) {
      std::size_t i = 0;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(i, kd.identifier(field_names(Self::kFields, Self::kDenyUnknown)));
        return {};
      }));
      if (!more) break;
      if (i >= Self::kFields.size()) {
        WW_TRY(map.next_value([](auto& de) { return de.ignored_any(); }));
        continue;
      }
      if (has(present, i)) return duplicate_field(Self::kFields[i]);
      WW_TRY(map.next_value([&](auto& de) { return self().read_field(i, de); }));
      present |= std::uint64_t{1} << i;
    }
    return self().finish(present);
  }

  template <class S>
  Result<T> visit_seq(Ctx, S& seq) {
    constexpr std::size_t n = Self::kFields.size();
    for (std::size_t i = 0; i < n; ++i) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) { return self().read_field(i, de); }));
      if (!more) return invalid_length(i, with_elements(self().expecting(), n));
    }
    return self().finish((std::uint64_t{1} << n) - 1);
  }
};

// An optional value: null is absent, anything else is read by `read`.
template <class F, class T>
struct OptionalVisitor : Visitor<OptionalVisitor<F, T>, bool> {
  F* read = nullptr;
  std::optional<T>* out = nullptr;
  std::string expecting() const { return "option"; }
  Result<bool> visit_none(Ctx) {
    out->reset();
    return true;
  }
  Result<bool> visit_unit(Ctx) {
    out->reset();
    return true;
  }
  template <class D>
  Result<bool> visit_some(Ctx, D& de) {
    WW_TRY_ASSIGN(*out, (*read)(de));
    return true;
  }
};

template <class D, class F, class T>
Status read_optional(D& de, F&& read, std::optional<T>& out) {
  OptionalVisitor<std::remove_reference_t<F>, T> v;
  v.read = &read;
  v.out = &out;
  auto r = de.option(v);
  if (!r.ok()) return r.take_error();
  return {};
}

}  // namespace ww::rec
