// A list of T, each element read by `read(de)`: "a sequence".
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

// No more than 1 MiB worth of elements is reserved on a declared length, so
// a length that the input only claims costs little.
template <class T>
std::size_t cautious_reserve(std::size_t hint) {
  return std::min<std::size_t>(hint, (1u << 20) / sizeof(T));
}

template <class T, class F>
struct ListVisitor : Visitor<ListVisitor<T, F>, std::vector<T>> {
  F read;
  explicit ListVisitor(F f) : read(std::move(f)) {}
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<std::vector<T>> visit_seq(Ctx, S& seq) {
    std::vector<T> items;
    items.reserve(cautious_reserve<T>(seq.size_hint()));
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(T item, read(de));
        items.push_back(std::move(item));
        return {};
      }));
      if (!more) return items;
    }
  }
};

template <class T, class D, class F>
Result<std::vector<T>> read_list(D& de, F&& read) {
  return de.seq(ListVisitor<T, std::remove_cvref_t<F>>(std::forward<F>(read)));
}

}  // namespace ww::rec
