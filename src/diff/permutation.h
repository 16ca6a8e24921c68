// Whether a new list is a rearrangement of an old one, matched by content
// key (an element's compact JSON text), and how sorted that rearrangement
// already is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "value/value.h"

namespace ww::diff {

// Lists of equal length. Entry k of the result is the position in `old_list`
// of the element that ends at position k: each element of `new_list` takes
// the first old position with its content key not yet taken, and must equal
// the element found there; the first one that finds none ends the test with
// no order. The first `matched` elements of both lists must be identical
// (they map to themselves and are not keyed).
std::optional<std::vector<std::uint64_t>> rearrangement_order(const Value::List& old_list,
                                                              const Value::List& new_list,
                                                              std::size_t matched = 0);

// The length of the longest strictly increasing subsequence of
// order[from..], by patience sorting.
std::size_t longest_increasing_run(const std::vector<std::uint64_t>& order, std::size_t from = 0);

}  // namespace ww::diff
