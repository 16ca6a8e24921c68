// The saved state of a CRDT document.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/dot.h"
#include "crdt/reducer/node_state.h"

namespace ww::crdt::reducer {

// The fingerprint of every operation whose dot is not compacted.
using FingerprintTable = std::map<Dot, std::string>;

struct CrdtState {
  std::uint32_t state_version = 1;
  std::string spec_hash;
  CausalContext context;
  FingerprintTable fingerprints;
  NodeState root;

  friend bool operator==(const CrdtState&, const CrdtState&) = default;
};

}  // namespace ww::crdt::reducer
