// The interpreter class ClientState.
#pragma once

#include "bridge/class_type.h"
#include "client/client_state.h"

namespace ww::bridge {

struct ClientStateClass {
  using State = ww::client::ClientState;
  static constexpr ClassSpec spec =
      make_class("ClientState", {}, "Shared revision and proposal reducer for a language-level client adapter.");
  static State construct_state();
  static constexpr auto construct = &construct_state;
  // prepare, commit, proposal, disconnect, revisions, pending, abandon
  static const MethodEntry methods[7];
};

}  // namespace ww::bridge
