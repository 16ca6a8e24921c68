// Externally tagged unions: {"Name": payload}, or "Name" alone for a kind
// without payload. The name is read among `variants` (as text, or as the
// format allows as bytes or an index); then `payload(kind, va)` reads the
// rest through the variant access: va.unit_variant(), va.newtype(f), or
// read_variant_fields(va, shape, read) for a kind with named fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

// The variant names are a template argument: each union's reader then
// compares names against constants, which the compiler folds.
template <class T, const auto& kVariants, class F>
struct UnionVisitor : Visitor<UnionVisitor<T, kVariants, F>, T> {
  std::string_view name;  // "Value": expecting "enum Value"
  F* payload;

  UnionVisitor(std::string_view n, F& p) : name(n), payload(&p) {}
  std::string expecting() const { return "enum " + std::string(name); }

  template <class E>
  Result<T> visit_enum(Ctx, E& e) {
    std::size_t kind = 0;
    WW_TRY_ASSIGN(auto va, e.variant([&](auto& id) -> Status {
      WW_TRY_ASSIGN(kind, id.identifier(variant_names(kVariants)));
      return {};
    }));
    return (*payload)(kind, va);
  }
};

template <class T, const auto& kVariants, class D, class F>
Result<T> read_union(D& de, std::string_view name, F&& payload) {
  return de.enum_(name, kVariants, UnionVisitor<T, kVariants, std::remove_reference_t<F>>(name, payload));
}

}  // namespace ww::rec
