// An optional T: null (or a unit) is none, anything else is read by `read(de)`.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

template <class T, class F>
struct OptionVisitor : Visitor<OptionVisitor<T, F>, std::optional<T>> {
  F* read;
  explicit OptionVisitor(F& f) : read(&f) {}
  std::string expecting() const { return "option"; }
  Result<std::optional<T>> visit_none(Ctx) { return std::optional<T>(); }
  Result<std::optional<T>> visit_unit(Ctx) { return std::optional<T>(); }
  template <class D>
  Result<std::optional<T>> visit_some(Ctx, D& de) {
    WW_TRY_ASSIGN(T v, (*read)(de));
    return std::optional<T>(std::move(v));
  }
};

template <class T, class D, class F>
Result<std::optional<T>> read_option(D& de, F&& read) {
  return de.option(OptionVisitor<T, std::remove_reference_t<F>>(read));
}

}  // namespace ww::rec
