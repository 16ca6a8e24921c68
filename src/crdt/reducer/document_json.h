// The document's methods with their arguments and results as JSON text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crdt/reducer/document.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// {"ops":[<CrdtOp>,...],"effect":<CrdtEffect>}
Result<std::string> mutate_json(CrdtDocument& doc, std::string_view mutations_json);
// The CrdtEffect.
Result<std::string> apply_json(CrdtDocument& doc, std::string_view ops_json);
Result<std::string> member_key_json(const CrdtDocument& doc, std::string_view path_json, std::string_view value_json);
Result<std::uint64_t> compact_json(CrdtDocument& doc, std::string_view frontier_json);

}  // namespace ww::crdt::reducer
