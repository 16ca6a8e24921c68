// The structural diff: the operations that turn one model value into
// another. Deterministic, not minimal: maps key by key, lists by a greedy
// walk of moves, insertions, replacements and removals whose work is bounded
// per list, falling back to one Reorder or to a position-by-position diff.
#pragma once

#include <vector>

#include "diff/patch.h"
#include "value/value.h"

namespace ww::diff {

// Appends to `ops` the operations that turn `old_value`, found at `path`,
// into `new_value`. Every position in them refers to the list as it is after
// the operations before them. Cannot fail.
void diff_value(const Path& path, const Value& old_value, const Value& new_value, std::vector<Op>& ops);

// A copy of `path` with `seg` appended.
Path child_path(const Path& path, PathSeg seg);

// Element by element up to the shorter length, then Inserts of the surplus
// of `new_list` in ascending order or RemoveAts of the surplus of
// `old_list` from the back.
void diff_list_positionally(const Path& path, const Value::List& old_list, const Value::List& new_list,
                            std::vector<Op>& ops);

}  // namespace ww::diff
