#include "crdt/reducer/state_read.h"

#include "crdt/reducer/state_json.h"
#include "format/json/text_de.h"

namespace ww::crdt::reducer {

Result<CrdtState> crdt_state_from_json(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return read_crdt_state(de); });
}

}  // namespace ww::crdt::reducer
