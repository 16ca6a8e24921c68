// A saved state as read, in the compact form, before the checks that
// from_state makes. Two readers give it: one pass straight from the text,
// for the texts that this system writes and their like; and the saved-state
// readers with their records, for every other text, whose messages and
// their order are the product.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/replica_table.h"
#include "crdt/reducer/tree.h"
#include "crdt/sha256_text.h"

namespace ww::crdt::reducer {

struct RestoredState {
  struct Fingerprint {
    InternedDot dot;
    Sha256Digest digest{};
    // kDigest: `digest` holds it; otherwise the index of its 64 characters
    // after "sha256:" in `texts` (digits that are not lowercase hex).
    std::uint32_t text = kDigest;
  };
  static constexpr std::uint32_t kDigest = UINT32_MAX;

  std::uint32_t state_version = 0;
  std::string spec_hash;
  ReplicaTable replicas;
  ReplicaCounters compacted;
  std::vector<InternedDot> dots;  // the context's, ascending, each once
  std::vector<Fingerprint> fingerprints;  // ascending by dot, each once
  std::vector<std::string> texts;
  // Some fingerprint is not 71 bytes long beginning with "sha256:".
  bool bad_fingerprint = false;
  Node root;

  void add_fingerprint(const InternedDot& dot, std::string_view text);
};

// One pass over the text straight into the compact form. False when the text
// takes a liberty that only the record readers handle (a tag that does not
// stand first, tables out of order or with repeats, integers for kinds) or
// holds any fault: the caller then reads it with read_restored_state.
bool read_restored_state_fast(std::string_view text, RestoredState& out);

// The saved-state readers, then the records turned into the compact form;
// their errors are the reading errors of from_state.
Result<RestoredState> read_restored_state(std::string_view text);

}  // namespace ww::crdt::reducer
