// The compact JSON forms of node states, entry states and the saved state,
// and reading a saved state from its text.
#pragma once

#include <string>
#include <string_view>

#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/node_state.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// {"kind":"register","value":...,"dot":...}, {"kind":"map","entries":{...}},
// {"kind":"sequence","entries":[[id,entry],...],"deletes":[[id,[dot,...]],...]}
void write_node_state(const NodeState& node, std::string& out);
// "node" always; the dot sets only when not empty.
void write_map_entry(const MapEntryState& entry, std::string& out);
void write_set_entry(const SetEntryState& entry, std::string& out);
// "after", "node" and "inserted" always (null when absent).
void write_sequence_entry(const SequenceEntryState& entry, std::string& out);
// "fingerprints" only when the table is not empty.
void write_crdt_state(const CrdtState& state, std::string& out);
std::string crdt_state_to_json(const CrdtState& state);

// Reads a whole saved-state text; errors carry the reader's position.
Result<CrdtState> crdt_state_from_json(std::string_view text);

}  // namespace ww::crdt::reducer
