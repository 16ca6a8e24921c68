#include "bridge/client_class.h"

#include <optional>

namespace ww::bridge {
namespace {

using ww::client::ClientState;

constexpr MethodSpec kPrepare = make_method("ClientState", "prepare", {"message_json"}, Flavour::Fast, Access::Shared);
constexpr MethodSpec kCommit = make_method("ClientState", "commit", {"effect_json"}, Flavour::Fast, Access::Exclusive);
constexpr MethodSpec kProposal = make_method("ClientState", "proposal", {"id", "ops_json", "proposal"}, Flavour::Fast,
                                             Access::Exclusive, "", 1);
constexpr MethodSpec kDisconnect = make_method("ClientState", "disconnect", {}, Flavour::None, Access::Exclusive);
constexpr MethodSpec kRevisions = make_method("ClientState", "revisions", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kPending = make_method("ClientState", "pending", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kAbandon = make_method("ClientState", "abandon", {"proposal"}, Flavour::Fast, Access::Exclusive);

ww::Result<std::string> prepare(const ClientState& s, std::string_view message_json) {
  return s.prepare(message_json);
}
ww::Status commit(ClientState& s, std::string_view effect_json) { return s.commit(effect_json); }
ww::Result<std::string> proposal(ClientState& s, std::uint64_t id, std::string_view ops_json,
                                 std::optional<std::string_view> name) {
  return s.proposal(id, ops_json, name);
}
std::string disconnect(ClientState& s) { return s.disconnect(); }
std::string revisions(const ClientState& s) { return s.revisions(); }
std::vector<std::string> pending(const ClientState& s) { return s.pending(); }
bool abandon(ClientState& s, std::string_view name) { return s.abandon(name); }

}  // namespace

ClientState ClientStateClass::construct_state() { return ClientState(); }

const MethodEntry ClientStateClass::methods[7] = {
    method<kPrepare, &prepare>(),       method<kCommit, &commit>(),   method<kProposal, &proposal>(),
    method<kDisconnect, &disconnect>(), method<kRevisions, &revisions>(), method<kPending, &pending>(),
    method<kAbandon, &abandon>(),
};

}  // namespace ww::bridge
