#include "crdt/reducer/node_state.h"

namespace ww::crdt::reducer {

NodeState NodeState::empty(Kind kind) {
  switch (kind) {
    case Kind::Register: return RegisterState{};
    case Kind::Map: return MapState{};
    case Kind::Set: return SetState{};
    case Kind::Sequence: break;
  }
  return SequenceState{};
}

bool operator==(const MapState& a, const MapState& b) { return a.entries == b.entries; }
bool operator==(const SetState& a, const SetState& b) { return a.entries == b.entries; }
bool operator==(const SequenceState& a, const SequenceState& b) {
  return a.entries == b.entries && a.deletes == b.deletes;
}

}  // namespace ww::crdt::reducer
