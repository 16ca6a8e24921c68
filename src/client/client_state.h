// A client's bookkeeping of the live protocol: committed revisions, CRDT
// models and pending proposals. `prepare` decides a message's effect without
// changing anything; `commit` applies an effect.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "format/result.h"

namespace ww::client {

class ClientState {
 public:
  Result<std::string> prepare(std::string_view message_json) const;
  Status commit(std::string_view effect_json);
  Result<std::string> proposal(std::uint64_t id, std::string_view ops_json, std::optional<std::string_view> proposal);
  std::string disconnect();
  std::string revisions() const;
  std::vector<std::string> pending() const;
  bool abandon(std::string_view proposal);

 private:
  std::map<std::uint64_t, std::uint64_t> revision_table_;
  std::set<std::uint64_t> crdt_models_;
  std::set<std::string, std::less<>> pending_proposals_;
  std::uint64_t next_auto_proposal_ = 1;
};

}  // namespace ww::client
