// The patch applier: carries out operations on a value in place, one after
// the other, and stops at the first that cannot be carried out. The failing
// operation changes nothing; the ones before it stay applied, except with
// apply_whole.
#pragma once

#include <span>
#include <vector>

#include "diff/patch.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::diff {

// Follows `steps` from `root`: a Key step enters a map entry, an Index step
// a list element.
Result<Value*> value_at_mut(Value& root, std::span<const PathSeg> steps);

Status apply_op(Value& root, const Op& op);
Status apply(Value& root, std::span<const Op> ops);
// The same, moving the values out of `ops` instead of copying them: for a
// caller that drops the operations afterwards. Operations that were not
// reached keep their values.
Status apply_taking(Value& root, std::span<Op> ops);
// As apply_taking, but all or nothing: when an operation fails, the ones
// before it are undone and `root` is as it was. What the operations replace
// or take out is kept aside meanwhile, not the whole value.
Status apply_whole(Value& root, std::span<Op> ops);

}  // namespace ww::diff
