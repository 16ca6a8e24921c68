// What a document holds, shared by the files that implement it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crdt/reducer/crdt_state.h"
#include "crdt/reducer/document.h"
#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/document_refresh.h"
#include "crdt/reducer/op_log.h"
#include "crdt/reducer/replica_table.h"
#include "crdt/reducer/tree.h"
#include "crdt/sha256_text.h"

namespace ww::crdt::reducer {

struct CrdtDocument::Body {
  std::string spec_hash;
  ReplicaTable replicas;
  std::uint32_t replica_id = kNoReplica;
  OpLog log;
  Node root;
  // The materialised value kept between calls, made when missing.
  std::unique_ptr<LiveValue> live;
  // The undo records of the call at hand; kept for its storage.
  Journal journal;
  // Fingerprints the operations of every call.
  Sha256Hasher hasher;
  // The texts of a call's operations and deltas, kept for their storage.
  std::string ops_text;
  std::string deltas;
  // The saved-state records, made when asked for.
  std::unique_ptr<CrdtState> wire;
  // The sizes of the last saved state and of the last result of mutate or
  // apply, to reserve the next one at once.
  std::size_t state_size = 0;
  std::size_t result_size = 0;
};

}  // namespace ww::crdt::reducer
