#include "client/client_state.h"

#include <algorithm>

#include "client/client_message.h"
#include "diff/patch_json.h"
#include "format/json/json_writer.h"
#include "message/message.h"

namespace ww::client {
namespace {

// "auto-" followed by one or more ASCII digits is the generated form.
bool is_reserved(std::string_view p) {
  if (p.size() < 6 || p.substr(0, 5) != "auto-") return false;
  return std::all_of(p.begin() + 5, p.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Error before_snapshot(const char* what, std::uint64_t id) {
  std::string msg(what);
  msg.append(" received before snapshot for model ");
  json::append_u64(id, msg);
  return Error::custom(std::move(msg));
}

}  // namespace

Result<std::string> ClientState::prepare(std::string_view message_json) const {
  WW_TRY_ASSIGN(ClientMessage m, read_client_message(message_json));
  using MK = ClientMessage::Kind;
  using EK = ClientEffect::Kind;
  ClientEffect e;
  e.id = m.id;
  e.rev = m.rev;
  switch (m.kind) {
    case MK::Snapshot: e.kind = EK::Snapshot; break;
    case MK::CrdtSnapshot: e.kind = EK::CrdtSnapshot; break;
    case MK::Patch: {
      auto it = revision_table_.find(m.id);
      if (it == revision_table_.end()) return before_snapshot("patch", m.id);
      e.kind = m.rev > it->second ? EK::Patch : EK::StalePatch;
      e.proposal = std::move(m.proposal);
      break;
    }
    case MK::Crdt:
      if (!revision_table_.contains(m.id)) return before_snapshot("CRDT operations", m.id);
      if (crdt_models_.contains(m.id)) {
        e.kind = EK::Crdt;
        e.proposal = std::move(m.proposal);
      } else {
        e = ClientEffect{};  // ignore: the proposal is dropped
      }
      break;
    case MK::Ack:
      e.kind = EK::Acknowledgement;
      e.proposal = std::move(m.proposal);
      break;
    case MK::Reject:
      e.kind = EK::Rejection;
      e.error = std::move(m.error);
      e.proposal = std::move(m.proposal);
      break;
    case MK::Awareness:
      e.kind = EK::Awareness;
      e.peer = std::move(m.peer);
      e.state = std::move(m.state);
      break;
    case MK::Batch: return Error::custom("batch messages must be prepared in order");
    case MK::Unknown: e = ClientEffect{}; break;
  }
  return write_client_effect(e);
}

Status ClientState::commit(std::string_view effect_json) {
  WW_TRY_ASSIGN(ClientEffect e, read_client_effect(effect_json));
  using K = ClientEffect::Kind;
  auto settle = [&] {
    if (e.proposal) {
      auto it = pending_proposals_.find(*e.proposal);
      if (it != pending_proposals_.end()) pending_proposals_.erase(it);
    }
  };
  auto raise_to = [&](std::uint64_t rev) {
    auto [it, inserted] = revision_table_.try_emplace(e.id, rev);
    if (!inserted) it->second = std::max(it->second, rev);
  };
  switch (e.kind) {
    case K::Snapshot:
      revision_table_[e.id] = e.rev;
      crdt_models_.erase(e.id);
      break;
    case K::CrdtSnapshot:
      raise_to(e.rev);
      crdt_models_.insert(e.id);
      break;
    case K::Patch:
      revision_table_[e.id] = e.rev;
      settle();
      break;
    case K::Crdt:
      raise_to(e.rev);
      settle();
      break;
    case K::StalePatch:
    case K::Rejection:
    case K::Acknowledgement: settle(); break;
    case K::Awareness:
    case K::Ignore:
    case K::Disconnect: break;
  }
  return {};
}

Result<std::string> ClientState::proposal(std::uint64_t id, std::string_view ops_json,
                                          std::optional<std::string_view> proposal) {
  WW_TRY_ASSIGN(std::vector<Op> ops, ops_from_json_text(ops_json));
  std::string name;
  if (proposal) {
    if (is_reserved(*proposal)) return Error::custom("proposal identifiers matching 'auto-N' are reserved");
    name = std::string(*proposal);
  } else {
    name = "auto-";
    json::append_u64(next_auto_proposal_++, name);
  }
  pending_proposals_.insert(name);
  msg::PatchMsg m;
  m.id = id;
  m.patch.ops = std::move(ops);
  m.proposal = std::move(name);
  return Message(std::move(m)).to_json();
}

std::string ClientState::disconnect() {
  ClientEffect e;
  e.kind = ClientEffect::Kind::Disconnect;
  e.proposals.assign(pending_proposals_.begin(), pending_proposals_.end());
  pending_proposals_.clear();
  return write_client_effect(e);
}

std::string ClientState::revisions() const {
  std::string out = "{";
  bool first = true;
  for (const auto& [id, rev] : revision_table_) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('"');
    json::append_u64(id, out);
    out.append("\":");
    json::append_u64(rev, out);
  }
  out.push_back('}');
  return out;
}

std::vector<std::string> ClientState::pending() const {
  return {pending_proposals_.begin(), pending_proposals_.end()};
}

bool ClientState::abandon(std::string_view proposal) {
  auto it = pending_proposals_.find(proposal);
  if (it == pending_proposals_.end()) return false;
  pending_proposals_.erase(it);
  return true;
}

}  // namespace ww::client
