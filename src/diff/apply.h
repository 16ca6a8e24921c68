// The patch applier: carries out operations on a value in place, one after
// the other, and stops at the first that cannot be carried out. The failing
// operation changes nothing; the ones before it stay applied, so callers
// that must not show a part-applied value work on a copy.
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

}  // namespace ww::diff
