// The removals that enclosing map entries and set members carry, as a chain
// of borrowed dot sets: descending into an entry links its `removed` set in
// front instead of copying the union.
#pragma once

#include "crdt/reducer/interned_dot_set.h"
#include "crdt/reducer/replica_table.h"

namespace ww::crdt::reducer {

struct RemovedChain {
  const InternedDotSet* set;
  const RemovedChain* parent;
};

inline bool removed_contains(const RemovedChain* chain, const InternedDot& dot, const ReplicaTable& replicas) {
  for (; chain != nullptr; chain = chain->parent) {
    if (chain->set->contains(dot, replicas)) return true;
  }
  return false;
}

// Every dot of `dots` is removed; true for an empty set.
inline bool all_removed(const InternedDotSet& dots, const RemovedChain* chain, const ReplicaTable& replicas) {
  if (chain == nullptr) return dots.empty();
  return dots.all_of([&](const InternedDot& d) { return removed_contains(chain, d, replicas); });
}

// `chain` extended by `set`, using `link` as storage; an empty set adds nothing.
inline const RemovedChain* extend_removed(const RemovedChain* chain, const InternedDotSet& set, RemovedChain& link) {
  if (set.empty()) return chain;
  link = RemovedChain{&set, chain};
  return &link;
}

}  // namespace ww::crdt::reducer
