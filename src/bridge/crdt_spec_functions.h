// normalize_crdt_spec / crdt_spec_hash / require_crdt_spec_hash: a CRDT
// CRDT spec's canonical text and hash, and the check of a peer's hash.
#pragma once

#include <string>
#include <string_view>

#include "format/result.h"

namespace ww::bridge {

// The canonical compact text of the CRDT spec in `json`.
ww::Result<std::string> normalize_crdt_spec(std::string_view json);

// "sha256:" and the hex digest of the canonical text.
ww::Result<std::string> crdt_spec_hash(std::string_view json);

// Fails with "incompatible CRDT spec: local hash <local>, peer hash <peer>"
// unless `peer_hash` equals the local hash byte for byte.
ww::Status require_crdt_spec_hash(std::string_view json, std::string_view peer_hash);

}  // namespace ww::bridge
