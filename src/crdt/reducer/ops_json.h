// The compact JSON forms of paths, operations, deltas and effects; reading
// the arrays that a document's methods take; operation fingerprints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/crdt_ops.h"
#include "format/result.h"

namespace ww::crdt::reducer {

// Every field is written: "kind" first, then the fields in declaration
// order; empty lists as [], an absent `after` as null.
void write_path_segment(const CrdtPathSegment& seg, std::string& out);
void write_crdt_path(const CrdtPath& path, std::string& out);
void write_crdt_op(const CrdtOp& op, std::string& out);
std::string crdt_op_to_json(const CrdtOp& op);
void write_crdt_delta(const CrdtDelta& delta, std::string& out);
// {"patch":...,"deltas":[...],"applied":N}
void write_crdt_effect(const CrdtEffect& effect, std::string& out);

// Whole texts holding one JSON array; errors carry the reader's position.
Result<std::vector<CrdtOp>> crdt_ops_from_json(std::string_view text);
Result<std::vector<CrdtMutation>> crdt_mutations_from_json(std::string_view text);
Result<CrdtPath> crdt_path_from_json(std::string_view text);

// "sha256:" and the hex digest of the operation as this system writes it,
// so two texts of the same operation share it.
Result<std::string> op_fingerprint(const CrdtOp& op);

}  // namespace ww::crdt::reducer
