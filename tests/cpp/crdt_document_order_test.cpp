// The visible order of sequence elements: the plain walk of the anchors, and
// the order kept with each sequence, laid out whole or updated one
// insertion at a time.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "crdt/reducer/document_edit.h"
#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/tree_wire.h"

namespace ww::crdt::reducer {
namespace {

ElementId id(std::uint64_t counter, const char* replica, std::uint32_t index = 0) {
  return ElementId{Dot{counter, replica}, index};
}

SequenceEntryState inserted_after(std::optional<ElementId> after) {
  return SequenceEntryState{std::move(after), std::nullopt, true};
}

// A sequence in the compact form, with its replicas.
struct Compact {
  ReplicaTable replicas;
  Node node;
  SequenceNode& seq() { return *node.sequence(); }
};

Compact compact(SequenceState seq) {
  Compact c;
  c.node = node_from_wire(NodeState(std::move(seq)), c.replicas);
  return c;
}

std::vector<ElementId> kept_order(Compact& c) {
  std::vector<ElementId> out;
  c.seq().order.for_each([&](std::uint32_t h) { out.push_back(c.replicas.wire(c.seq().elements[h].id)); });
  return out;
}

std::vector<ElementId> walked_order(const Compact& c) {
  return ordered_sequence_ids(node_to_wire(c.node, c.replicas).sequence()->entries);
}

TEST(SequenceOrder, SiblingsLargestFirstEachFollowedByItsSubtree) {
  SequenceState seq;
  seq.entries[id(1, "a")] = inserted_after(std::nullopt);
  seq.entries[id(2, "b")] = inserted_after(std::nullopt);
  seq.entries[id(3, "a", 0)] = inserted_after(std::nullopt);
  seq.entries[id(3, "a", 1)] = inserted_after(id(3, "a", 0));
  seq.entries[id(3, "a", 2)] = inserted_after(id(3, "a", 1));
  seq.entries[id(5, "a")] = inserted_after(id(3, "a", 0));
  seq.entries[id(5, "b")] = inserted_after(id(3, "a", 0));
  seq.entries[id(6, "z")] = inserted_after(id(9, "missing"));   // its anchor never came
  seq.entries[id(7, "z")] = SequenceEntryState{std::nullopt, std::nullopt, false};  // not inserted
  const std::vector<ElementId> expected = {id(3, "a", 0), id(5, "b"), id(5, "a"), id(3, "a", 1), id(3, "a", 2),
                                           id(2, "b"),    id(1, "a"), id(6, "z")};
  EXPECT_EQ(ordered_sequence_ids(seq.entries), expected);
  Compact c = compact(seq);
  EXPECT_EQ(kept_order(c), expected);
  EXPECT_TRUE(c.seq().order.has_orphans());
}

// Anchors drawn at random: the start, earlier or later entries, missing ids,
// the entry itself; some entries not inserted, some deleted.
SequenceState random_sequence(std::mt19937& rng, std::size_t n) {
  SequenceState seq;
  std::vector<ElementId> ids;
  for (std::size_t i = 0; i < n; ++i) ids.push_back(id(1 + rng() % 8, rng() % 2 ? "a" : "b", rng() % 3));
  for (const ElementId& e : ids) {
    std::optional<ElementId> after;
    switch (rng() % 5) {
      case 0: break;
      case 1: after = id(99, "gone"); break;
      default: after = ids[rng() % ids.size()];
    }
    seq.entries[e] = SequenceEntryState{after, std::nullopt, rng() % 6 != 0};
    if (rng() % 4 == 0) seq.deletes[e].insert(Dot{50, "d"});
  }
  return seq;
}

TEST(SequenceOrder, KeptOrderMatchesThePlainWalkOnAnyAnchors) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    SequenceState wire = random_sequence(rng, 1 + rng() % 20);
    Compact c = compact(wire);
    ASSERT_EQ(kept_order(c), ordered_sequence_ids(wire.entries)) << round;
    std::size_t live = 0;
    c.seq().order.for_each([&](std::uint32_t h) {
      const Element& e = c.seq().elements[h];
      EXPECT_EQ(e.deleted, wire.deletes.contains(c.replicas.wire(e.id)));
      live += e.deleted ? 0 : 1;
    });
    EXPECT_EQ(c.seq().order.live(), live);
  }
}

TEST(SequenceOrder, InsertionsKeepTheOrderInStep) {
  std::mt19937 rng(5);
  for (int round = 0; round < 100; ++round) {
    Compact c = compact(SequenceState{});
    Editor editor(nullptr, c.replicas);
    std::vector<InternedElementId> inserted;
    for (std::uint64_t counter = 1; counter <= 40; ++counter) {
      // Concurrent replicas: counters repeat, anchors are any element seen.
      const InternedElementId e = c.replicas.intern(
          id(counter / 3 + 1, rng() % 2 ? "a" : "b", static_cast<std::uint32_t>(counter % 3)));
      if (c.seq().find(e, c.replicas) != kNoHandle) continue;
      InternedElementId after;
      if (!inserted.empty() && rng() % 4 != 0) after = inserted[rng() % inserted.size()];
      if (rng() % 5 == 0) editor.add_delete(c.seq(), e, c.replicas.intern(Dot{counter, "d"}));
      const std::uint32_t h = editor.element(c.seq(), e);
      editor.set_after(c.seq(), h, after);
      editor.mark_inserted(c.seq(), h);
      inserted.push_back(e);
      ASSERT_EQ(kept_order(c), walked_order(c)) << round << " " << counter;
      std::size_t live = 0;
      c.seq().order.for_each([&](std::uint32_t k) { live += c.seq().elements[k].deleted ? 0 : 1; });
      EXPECT_EQ(c.seq().order.live(), live);
    }
  }
}

// Thousands of elements: the order's blocks split, and positions counted
// from either end agree with the walk.
TEST(SequenceOrder, LargeSequencesKeepOrderAndPositions) {
  std::mt19937 rng(7);
  Compact c = compact(SequenceState{});
  Editor editor(nullptr, c.replicas);
  std::vector<InternedElementId> inserted;
  for (std::uint64_t counter = 1; counter <= 3000; ++counter) {
    const InternedElementId e = c.replicas.intern(id(counter, rng() % 3 ? "a" : "b"));
    InternedElementId after;
    if (!inserted.empty() && rng() % 50 != 0) {
      // Mostly typing after a recent element, at times anywhere.
      after = rng() % 4 ? inserted[inserted.size() - 1 - rng() % std::min<std::size_t>(inserted.size(), 5)]
                        : inserted[rng() % inserted.size()];
    }
    const std::uint32_t h = editor.element(c.seq(), e);
    editor.set_after(c.seq(), h, after);
    editor.mark_inserted(c.seq(), h);
    if (rng() % 7 == 0) editor.add_delete(c.seq(), inserted.empty() ? e : inserted[rng() % inserted.size()],
                                          c.replicas.intern(Dot{counter, "d"}));
    inserted.push_back(e);
  }
  const std::vector<ElementId> walked = walked_order(c);
  ASSERT_EQ(kept_order(c), walked);
  const SequenceOrder& order = c.seq().order;
  std::vector<ElementId> live;
  for (const ElementId& e : walked) {
    const std::uint32_t h = c.seq().find(c.replicas.intern(e), c.replicas);
    if (!c.seq().elements[h].deleted) live.push_back(e);
  }
  ASSERT_EQ(order.live(), live.size());
  for (std::size_t i = 0; i < live.size(); i += 1 + rng() % 40) {
    const auto at = order.live_at(i);
    EXPECT_EQ(c.replicas.wire(c.seq().elements[order.handle(at)].id), live[i]) << i;
    EXPECT_EQ(order.before(at).live, i) << i;
  }
  for (std::size_t i = 0; i < walked.size(); i += 1 + rng() % 40) {
    const std::uint32_t h = c.seq().find(c.replicas.intern(walked[i]), c.replicas);
    EXPECT_EQ(order.before(order.find(c.seq().elements[h], h)).index, i) << i;
  }
}

TEST(SequenceOrder, AnOrphanLaysTheOrderOutAgainUntilItsAnchorComes) {
  Compact c = compact(SequenceState{});
  Editor editor(nullptr, c.replicas);
  auto insert = [&](ElementId e, std::optional<ElementId> after) {
    const std::uint32_t h = editor.element(c.seq(), c.replicas.intern(e));
    editor.set_after(c.seq(), h, after ? c.replicas.intern(*after) : InternedElementId{});
    editor.mark_inserted(c.seq(), h);
  };
  insert(id(2, "a"), id(1, "a"));
  EXPECT_TRUE(c.seq().order.has_orphans());
  insert(id(3, "a"), std::nullopt);
  EXPECT_EQ(kept_order(c), (std::vector<ElementId>{id(3, "a"), id(2, "a")}));
  insert(id(1, "a"), std::nullopt);
  EXPECT_FALSE(c.seq().order.has_orphans());
  EXPECT_EQ(kept_order(c), walked_order(c));
  EXPECT_EQ(kept_order(c), (std::vector<ElementId>{id(3, "a"), id(1, "a"), id(2, "a")}));
}

TEST(SequenceOrder, LivePositionsSkipDeletedElements) {
  SequenceState wire;
  std::optional<ElementId> after;
  std::uint64_t counter = 1;
  for (bool deleted : {true, false, true, true, false, false}) {
    wire.entries[id(counter, "a")] = inserted_after(after);
    if (deleted) wire.deletes[id(counter, "a")].insert(Dot{9, "d"});
    after = id(counter++, "a");
  }
  Compact c = compact(wire);
  auto live_id = [&](std::size_t i) {
    return c.replicas.wire(c.seq().elements[c.seq().order.handle(c.seq().order.live_at(i))].id);
  };
  EXPECT_EQ(c.seq().order.live(), 3u);
  EXPECT_EQ(live_id(0), id(2, "a"));
  EXPECT_EQ(live_id(1), id(5, "a"));
  EXPECT_EQ(live_id(2), id(6, "a"));
}

}  // namespace
}  // namespace ww::crdt::reducer
