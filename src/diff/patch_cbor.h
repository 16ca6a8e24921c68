// The CBOR form of paths, operations and patches. Records are maps keyed
// by field name, fields in declaration order; kinds are one-entry maps keyed
// by the kind's name:
//   path step  A1 "Key" <text>  /  A1 "Index" <uint>
//   operation  A1 <kind name> <map of the kind's fields>
//   patch      A2 "rev" <uint> "ops" <array of operations>
#pragma once

#include <string>
#include <string_view>

#include "diff/patch.h"
#include "format/result.h"

namespace ww {

void write_patch_cbor(const Patch& patch, std::string& out);

// Reads one patch from the start of `bytes`; what follows it is ignored.
// A patch must be a map; an operation's fields may be a map or an array.
// Errors in the CBOR reader's structural form (see value/value_cbor.h).
Result<Patch> patch_from_cbor(std::string_view bytes);

}  // namespace ww
