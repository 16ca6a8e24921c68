// The removals that enclosing map entries and set members carry, as a chain
// of borrowed dot sets: descending into an entry links its `removed` set in
// front instead of copying the union.
#pragma once

#include "crdt/reducer/node_state.h"

namespace ww::crdt::reducer {

struct RemovedChain {
  const DotSet* set;
  const RemovedChain* parent;
};

inline bool removed_contains(const RemovedChain* chain, const Dot& dot) {
  for (; chain != nullptr; chain = chain->parent) {
    if (chain->set->contains(dot)) return true;
  }
  return false;
}

// Every dot of `dots` is removed; true for an empty set.
inline bool all_removed(const DotSet& dots, const RemovedChain* chain) {
  for (const Dot& d : dots) {
    if (!removed_contains(chain, d)) return false;
  }
  return true;
}

// `chain` extended by `set`, using `link` as storage; an empty set adds nothing.
inline const RemovedChain* extend_removed(const RemovedChain* chain, const DotSet& set, RemovedChain& link) {
  if (set.empty()) return chain;
  link = RemovedChain{&set, chain};
  return &link;
}

}  // namespace ww::crdt::reducer
