// Merging a plain value into node state under a policy, with one dot.
#pragma once

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/tree.h"
#include "format/result.h"
#include "value/value.h"

namespace ww::crdt::reducer {

// Changes `node` in place through `editor`; on an error the node is left
// partly merged, for the caller to undo or discard.
Status merge_value(Node& node, const CrdtPolicy& policy, const Value& value, const InternedDot& dot, Editor& editor);

// Last writer wins: `reg` takes the value and dot unless it holds a greater dot.
void write_if_newer(Node& reg, const Value& value, const InternedDot& dot, Editor& editor);

}  // namespace ww::crdt::reducer
