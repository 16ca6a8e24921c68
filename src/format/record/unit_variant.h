// A kind of an externally tagged union named alone ("Name"), without
// payload: the access object that every format hands to visit_enum then.
// Only a unit variant is accepted; a kind that expects a payload fails with
// "invalid type: unit variant, expected newtype variant" (tuple, struct).
#pragma once

#include <cstddef>
#include <string_view>

#include "format/record/errors.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

// "invalid type: unit variant, expected <expected>".
inline Error refuse_unit_variant(Family family, std::string_view expected) {
  return invalid_type(family, Unexpected::of(Unexpected::Kind::UnitVariant), expected);
}

// `De` reads the name (its identifier entry point) and tells the family.
template <class De>
class UnitVariantAccess {
 public:
  explicit UnitVariantAccess(De& de) : de_(&de) {}
  template <class F>
  Result<UnitVariantAccess> variant(F&& f) {
    WW_TRY(f(*de_));
    return *this;
  }
  Status unit_variant() { return {}; }
  template <class F>
  Status newtype(F&&) { return refuse_unit_variant(De::family, "newtype variant"); }
  template <class V>
  Result<OutOf<V>> tuple_variant(std::size_t, V&&) { return refuse_unit_variant(De::family, "tuple variant"); }
  template <class V>
  Result<OutOf<V>> struct_variant(Names, V&&) { return refuse_unit_variant(De::family, "struct variant"); }

 private:
  De* de_;
};

}  // namespace ww::rec
