// The visible order of sequence elements: the plain walk of the anchors, and
// the views that keep it between calls, built whole or updated one
// insertion at a time.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "crdt/reducer/document_materialize.h"
#include "crdt/reducer/document_sequence_view.h"

namespace ww::crdt::reducer {
namespace {

ElementId id(std::uint64_t counter, const char* replica, std::uint32_t index = 0) {
  return ElementId{Dot{counter, replica}, index};
}

SequenceEntryState inserted_after(std::optional<ElementId> after) {
  return SequenceEntryState{std::move(after), std::nullopt, true};
}

std::vector<ElementId> view_order(const SequenceView& view) {
  std::vector<ElementId> out;
  for (const SequenceSlot& s : view.slots) out.push_back(s.entry->first);
  return out;
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
  SequenceView view = build_sequence_view(seq);
  EXPECT_EQ(view_order(view), expected);
  EXPECT_TRUE(view.has_orphans);
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

TEST(SequenceOrder, ViewMatchesThePlainWalkOnAnyAnchors) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    SequenceState seq = random_sequence(rng, 1 + rng() % 20);
    SequenceView view = build_sequence_view(seq);
    ASSERT_EQ(view_order(view), ordered_sequence_ids(seq.entries)) << round;
    std::size_t live = 0;
    for (const SequenceSlot& s : view.slots) {
      EXPECT_EQ(s.deleted, seq.deletes.contains(s.entry->first));
      live += s.deleted ? 0 : 1;
    }
    EXPECT_EQ(view.live, live);
  }
}

TEST(SequenceOrder, InsertionsKeepAViewInStep) {
  std::mt19937 rng(5);
  for (int round = 0; round < 100; ++round) {
    SequenceState seq;
    SequenceViews views;
    views.put(&seq, build_sequence_view(seq));
    std::vector<ElementId> inserted;
    for (std::uint64_t counter = 1; counter <= 40; ++counter) {
      // Concurrent replicas: counters repeat, anchors are any element seen.
      ElementId e = id(counter / 3 + 1, rng() % 2 ? "a" : "b", static_cast<std::uint32_t>(counter % 3));
      if (seq.entries.contains(e)) continue;
      std::optional<ElementId> after;
      if (!inserted.empty() && rng() % 4 != 0) after = inserted[rng() % inserted.size()];
      if (rng() % 5 == 0) seq.deletes[e].insert(Dot{counter, "d"});
      auto [it, fresh] = seq.entries.emplace(e, inserted_after(after));
      views.on_inserted(seq, *it);
      inserted.push_back(e);
      SequenceView* view = views.find(&seq);
      ASSERT_NE(view, nullptr);
      ASSERT_EQ(view_order(*view), ordered_sequence_ids(seq.entries)) << round << " " << counter;
      EXPECT_EQ(view->live, build_sequence_view(seq).live);
    }
  }
}

TEST(SequenceOrder, AnOrphanDropsTheView) {
  SequenceState seq;
  SequenceViews views;
  views.put(&seq, build_sequence_view(seq));
  auto [it, fresh] = seq.entries.emplace(id(2, "a"), inserted_after(id(1, "a")));
  views.on_inserted(seq, *it);
  EXPECT_EQ(views.find(&seq), nullptr);
}

TEST(SequenceOrder, LiveSlotsSkipDeletedElements) {
  SequenceView view;
  for (bool deleted : {true, false, true, true, false, false}) view.slots.push_back(SequenceSlot{nullptr, 1, 0, deleted});
  view.live = 3;
  EXPECT_EQ(view.live_slot(0), 1u);
  EXPECT_EQ(view.live_slot(1), 4u);
  EXPECT_EQ(view.live_slot(2), 5u);
}

}  // namespace
}  // namespace ww::crdt::reducer
