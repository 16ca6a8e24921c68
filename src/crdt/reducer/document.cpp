#include "crdt/reducer/document.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_merge.h"
#include "crdt/reducer/document_messages.h"
#include "crdt/reducer/document_paths.h"
#include "crdt/reducer/document_refresh.h"
#include "crdt/reducer/member_key.h"
#include "crdt/reducer/state_json.h"
#include "crdt/sha256_text.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

Status check_restored(const CrdtState& state, const std::string& local_hash) {
  if (state.state_version != 1) {
    return Error::custom("unsupported CRDT state version " + std::to_string(state.state_version) + "; expected 1");
  }
  if (state.spec_hash != local_hash) {
    return Error::custom("incompatible CRDT state: spec hash " + state.spec_hash + ", expected " + local_hash);
  }
  const DotSet& dots = state.context.dots;
  bool same = state.fingerprints.size() == dots.size();
  auto d = dots.begin();
  for (auto f = state.fingerprints.begin(); same && f != state.fingerprints.end(); ++f, ++d) same = f->first == *d;
  if (!same) return Error::custom(kFingerprintsMismatch);
  for (const Dot& d : dots) {
    if (d.counter == 0 || d.replica.empty() || d.replica == kInitReplica) {
      return Error::custom("invalid operation dot " + dot_debug(d));
    }
  }
  for (const auto& [dot, text] : state.fingerprints) {
    if (text.size() != kSha256TextSize || !text.starts_with(kSha256Prefix)) return Error::custom(kBadFingerprint);
  }
  return {};
}

}  // namespace

Result<std::string> validate_replica(std::string_view replica) {
  if (replica.empty() || replica == kInitReplica) return Error::custom(kBadReplica);
  return std::string(replica);
}

CrdtDocument::CrdtDocument(CrdtSpec spec, std::string replica, std::unique_ptr<CrdtState> data)
    : spec_(std::move(spec)), replica_(std::move(replica)), data_(std::move(data)) {}

CrdtDocument::CrdtDocument(CrdtDocument&&) noexcept = default;
CrdtDocument& CrdtDocument::operator=(CrdtDocument&&) noexcept = default;
CrdtDocument::~CrdtDocument() = default;

Result<CrdtDocument> CrdtDocument::create(std::string_view spec_json, std::string_view value_json,
                                          std::string_view replica) {
  WW_TRY_ASSIGN(CrdtSpec spec, CrdtSpec::from_json(spec_json));
  WW_TRY_ASSIGN(Value value, value_from_json_text(value_json));
  WW_TRY_ASSIGN(std::string checked, validate_replica(replica));
  auto data = std::make_unique<CrdtState>();
  WW_TRY_ASSIGN(data->spec_hash, CrdtSpec::hash(spec));
  data->root = NodeState::empty(spec.root.kind());
  WW_TRY(merge_value(data->root, spec.root, value, Dot{0, std::string(kInitReplica)}));
  return CrdtDocument(std::move(spec), std::move(checked), std::move(data));
}

Result<CrdtDocument> CrdtDocument::from_state(std::string_view spec_json, std::string_view state_json,
                                              std::string_view replica) {
  WW_TRY_ASSIGN(CrdtSpec spec, CrdtSpec::from_json(spec_json));
  auto data = std::make_unique<CrdtState>();
  WW_TRY_ASSIGN(*data, crdt_state_from_json(state_json));
  WW_TRY_ASSIGN(std::string local_hash, CrdtSpec::hash(spec));
  WW_TRY(check_restored(*data, local_hash));
  WW_TRY_ASSIGN(std::string checked, validate_replica(replica));
  const std::uint64_t counter = data->context.max_counter_any();
  // The root must materialise; what it gives is kept for later calls.
  WW_TRY_ASSIGN(LiveValue live, materialize_live(data->root, spec.root));
  CrdtDocument doc(std::move(spec), std::move(checked), std::move(data));
  doc.local_counter_ = counter;
  doc.live_ = std::make_unique<LiveValue>(std::move(live));
  return doc;
}

std::string CrdtDocument::state() const { return crdt_state_to_json(*data_); }

Result<LiveValue*> CrdtDocument::live() const {
  if (!live_) {
    WW_TRY_ASSIGN(LiveValue made, materialize_live(data_->root, spec_.root));
    live_ = std::make_unique<LiveValue>(std::move(made));
  }
  return live_.get();
}

void CrdtDocument::forget_live() const { live_.reset(); }

Result<Value> CrdtDocument::value() const {
  WW_TRY_ASSIGN(LiveValue* live, this->live());
  return live->value;
}

Result<std::string> CrdtDocument::value_json() const {
  WW_TRY_ASSIGN(LiveValue* live, this->live());
  return value_to_json(live->value);
}

Result<std::string> CrdtDocument::member_key(const CrdtPath& path, const Value& value) const {
  WW_TRY_ASSIGN(const CrdtPolicy* policy, policy_at_path(spec_.root, path));
  const SetPolicy* set = policy->set();
  if (set == nullptr) return Error::custom(kNotSetPolicy);
  return reducer::member_key(set->keys, value);
}

Result<Dot> CrdtDocument::next_dot() {
  // The largest counter of the context: `dots` is ordered by counter first.
  std::uint64_t top = data_->context.dots.empty() ? 0 : data_->context.dots.rbegin()->counter;
  for (const auto& [replica, counter] : data_->context.compacted) top = std::max(top, counter);
  top = std::max(local_counter_, top);
  // Wrapping round would hand out a counter that loses to every earlier write.
  if (top == std::numeric_limits<std::uint64_t>::max()) return Error::custom(kCounterExhausted);
  local_counter_ = top + 1;
  return Dot{local_counter_, replica_};
}

}  // namespace ww::crdt::reducer
