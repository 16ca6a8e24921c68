#include "crdt/reducer/document.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "crdt/reducer/document_body.h"
#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_merge.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/member_key.h"
#include "crdt/reducer/restored_state.h"
#include "crdt/reducer/state_json.h"
#include "crdt/reducer/tree_wire.h"
#include "crdt/sha256_text.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

Status check_restored(const RestoredState& state, const std::string& local_hash) {
  if (state.state_version != 1) {
    return Error::custom("unsupported CRDT state version " + std::to_string(state.state_version) + "; expected 1");
  }
  if (state.spec_hash != local_hash) {
    return Error::custom("incompatible CRDT state: spec hash " + state.spec_hash + ", expected " + local_hash);
  }
  bool same = state.fingerprints.size() == state.dots.size();
  for (std::size_t i = 0; same && i < state.dots.size(); ++i) same = state.fingerprints[i].dot == state.dots[i];
  if (!same) return Error::custom(kFingerprintsMismatch);
  for (const InternedDot& d : state.dots) {
    if (d.counter == 0 || state.replicas.name(d.replica).empty() || d.replica == kInitReplicaId) {
      return Error::custom("invalid operation dot " + state.replicas.debug(d));
    }
  }
  if (state.bad_fingerprint) return Error::custom(kBadFingerprint);
  return {};
}

}  // namespace

Result<std::string> validate_replica(std::string_view replica) {
  if (replica.empty() || replica == kInitReplica) return Error::custom(kBadReplica);
  return std::string(replica);
}

CrdtDocument::CrdtDocument(CrdtSpec spec, std::string replica, std::unique_ptr<Body> body)
    : spec_(std::move(spec)), replica_(std::move(replica)), body_(std::move(body)) {
  body_->replica_id = body_->replicas.intern(replica_);
}

CrdtDocument::CrdtDocument(CrdtDocument&&) noexcept = default;
CrdtDocument& CrdtDocument::operator=(CrdtDocument&&) noexcept = default;
CrdtDocument::~CrdtDocument() = default;

const std::string& CrdtDocument::spec_hash() const { return body_->spec_hash; }

Result<CrdtDocument> CrdtDocument::create(std::string_view spec_json, std::string_view value_json,
                                          std::string_view replica) {
  WW_TRY_ASSIGN(CrdtSpec spec, CrdtSpec::from_json(spec_json));
  WW_TRY_ASSIGN(Value value, value_from_json_text(value_json));
  WW_TRY_ASSIGN(std::string checked, validate_replica(replica));
  auto body = std::make_unique<Body>();
  WW_TRY_ASSIGN(body->spec_hash, CrdtSpec::hash(spec));
  body->root = Node::empty(spec.root.kind());
  Editor editor(nullptr, body->replicas);
  WW_TRY(merge_value(body->root, spec.root, value, InternedDot{0, kInitReplicaId}, editor));
  return CrdtDocument(std::move(spec), std::move(checked), std::move(body));
}

Result<CrdtDocument> CrdtDocument::from_state(std::string_view spec_json, std::string_view state_json,
                                              std::string_view replica) {
  WW_TRY_ASSIGN(CrdtSpec spec, CrdtSpec::from_json(spec_json));
  // One pass straight into the compact form; a text it leaves is read again
  // by the saved-state readers, which also give every reading error.
  RestoredState st;
  if (!read_restored_state_fast(state_json, st)) {
    WW_TRY_ASSIGN(st, read_restored_state(state_json));
  }
  WW_TRY_ASSIGN(std::string local_hash, CrdtSpec::hash(spec));
  WW_TRY(check_restored(st, local_hash));
  WW_TRY_ASSIGN(std::string checked, validate_replica(replica));
  auto body = std::make_unique<Body>();
  body->spec_hash = std::move(local_hash);
  body->replicas = std::move(st.replicas);
  body->log.compacted = std::move(st.compacted);
  for (RestoredState::Fingerprint& f : st.fingerprints) {
    if (f.text == RestoredState::kDigest) {
      body->log.push_back(f.dot, f.digest);
    } else {
      body->log.push_back_text(f.dot, std::move(st.texts[f.text]));
    }
  }
  body->root = std::move(st.root);
  const std::uint64_t counter = body->log.max_counter();
  // The root must materialise; what it gives is kept for later calls.
  WW_TRY_ASSIGN(LiveValue live, materialize_live(body->root, spec.root, body->replicas));
  body->live = std::make_unique<LiveValue>(std::move(live));
  body->state_size = state_json.size();
  CrdtDocument doc(std::move(spec), std::move(checked), std::move(body));
  doc.local_counter_ = counter;
  return doc;
}

std::string CrdtDocument::state() const {
  const Body& b = *body_;
  std::string out;
  out.reserve(b.state_size + b.state_size / 8 + 256);
  out.append("{\"state_version\":1,\"spec_hash\":");
  json::append_str(b.spec_hash, out);
  out.append(",\"context\":");
  b.log.write_context(out, b.replicas);
  if (b.log.size() != 0) {
    out.append(",\"fingerprints\":");
    b.log.write_fingerprints(out, b.replicas);
  }
  out.append(",\"root\":");
  write_node(b.root, b.replicas, out);
  out.push_back('}');
  body_->state_size = out.size();
  return out;
}

const CrdtState& CrdtDocument::wire() const {
  Body& b = *body_;
  if (!b.wire) {
    auto w = std::make_unique<CrdtState>();
    w->spec_hash = b.spec_hash;
    w->context = context_to_wire(b.log, b.replicas);
    w->fingerprints = fingerprints_to_wire(b.log, b.replicas);
    w->root = node_to_wire(b.root, b.replicas);
    b.wire = std::move(w);
  }
  return *b.wire;
}

void CrdtDocument::changed() { body_->wire.reset(); }

void CrdtDocument::forget_live() const { body_->live.reset(); }

Result<Value> CrdtDocument::value() const {
  if (!body_->live) {
    WW_TRY_ASSIGN(LiveValue made, materialize_live(body_->root, spec_.root, body_->replicas));
    body_->live = std::make_unique<LiveValue>(std::move(made));
  }
  return body_->live->value;
}

Result<std::string> CrdtDocument::value_json() const {
  if (!body_->live) {
    WW_TRY_ASSIGN(LiveValue made, materialize_live(body_->root, spec_.root, body_->replicas));
    body_->live = std::make_unique<LiveValue>(std::move(made));
  }
  return value_to_json(body_->live->value);
}

Result<std::string> CrdtDocument::member_key(const CrdtPath& path, const Value& value) const {
  WW_TRY_ASSIGN(const CrdtPolicy* policy, policy_at_path(spec_.root, path));
  const SetPolicy* set = policy->set();
  if (set == nullptr) return Error::custom(kNotSetPolicy);
  return reducer::member_key(set->keys, value);
}

void CrdtDocument::set_whole_materialization(bool on) {
  whole_materialization_ = on;
  forget_live();
}

Result<std::uint64_t> CrdtDocument::next_counter() {
  const std::uint64_t top = std::max(local_counter_, body_->log.max_counter());
  // Wrapping round would hand out a counter that loses to every earlier write.
  if (top == std::numeric_limits<std::uint64_t>::max()) return Error::custom(kCounterExhausted);
  local_counter_ = top + 1;
  return local_counter_;
}

}  // namespace ww::crdt::reducer
