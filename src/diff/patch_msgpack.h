// The MessagePack form of paths, operations and patches. Records are
// written positionally, never with field names:
//   path step  81 A3 "Key" <str>  /  81 A5 "Index" <uint>
//   operation  81 <kind name> <array of the kind's fields in declaration order>
//   patch      92 <rev> <array of operations>
#pragma once

#include <string>
#include <string_view>

#include "diff/patch.h"
#include "format/result.h"

namespace ww {

void write_patch_msgpack(const Patch& patch, std::string& out);

// Reads one patch from the start of `bytes`; what follows it is ignored.
// Fields may also come as a map keyed by name or index, and a bin item
// stands for a list of its bytes wherever a list is expected.
Result<Patch> patch_from_msgpack(std::string_view bytes);

}  // namespace ww
