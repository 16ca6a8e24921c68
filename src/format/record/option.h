// An optional T: null (or a unit) is none, anything else is read by
// `read(de)`. The value is read straight into the optional.
#pragma once

#include <optional>
#include <string>
#include <type_traits>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

template <class T, class F>
struct OptionVisitor : Visitor<OptionVisitor<T, F>, bool> {
  F* read;
  std::optional<T>* out;
  OptionVisitor(F& f, std::optional<T>& o) : read(&f), out(&o) {}
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
Status read_option(D& de, F&& read, std::optional<T>& out) {
  auto r = de.option(OptionVisitor<T, std::remove_reference_t<F>>(read, out));
  if (!r.ok()) return r.take_error();
  return {};
}

}  // namespace ww::rec
