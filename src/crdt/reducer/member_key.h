// The key under which a set node holds a member: the member's whole value,
// or the values at the set's identity paths.
#pragma once

#include <string>
#include <vector>

#include "crdt/crdt_spec.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// Without identity paths, the compact JSON text of the value. Otherwise
// the JSON text of [[path, value-at-path], ...] in the order of the paths
// (a set policy holds them normalised).
Result<std::string> member_key(const std::vector<IdentityPath>& identity_paths, const Value& value);

}  // namespace ww::crdt::reducer
