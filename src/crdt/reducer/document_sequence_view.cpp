#include "crdt/reducer/document_sequence_view.h"

#include <algorithm>
#include <utility>

namespace ww::crdt::reducer {

std::optional<std::size_t> SequenceView::find(const SequenceEntry* entry) {
  const std::size_t n = slots.size();
  if (n == 0) return std::nullopt;
  const std::size_t h = std::min(hint, n - 1);
  for (std::size_t d = 0;; ++d) {
    const bool ahead = h + d < n;
    const bool behind = d != 0 && d <= h;
    if (!ahead && !behind) return std::nullopt;
    if (ahead && slots[h + d].entry == entry) return hint = h + d;
    if (behind && slots[h - d].entry == entry) return hint = h - d;
  }
}

std::size_t SequenceView::shown_before(std::size_t p, std::size_t total) const {
  std::size_t sum = 0;
  if (p <= slots.size() / 2) {
    for (std::size_t i = 0; i < p; ++i) sum += slots[i].shown;
    return sum;
  }
  for (std::size_t i = p; i < slots.size(); ++i) sum += slots[i].shown;
  return total - sum;
}

std::size_t SequenceView::live_slot(std::size_t index) const {
  if (index < live / 2) {
    for (std::size_t i = 0;; ++i) {
      if (!slots[i].deleted && index-- == 0) return i;
    }
  }
  std::size_t from_end = live - 1 - index;
  for (std::size_t i = slots.size(); i-- > 0;) {
    if (!slots[i].deleted && from_end-- == 0) return i;
  }
  return slots.size();  // unreachable while `live` is right
}

SequenceView build_sequence_view(const SequenceState& seq) {
  // The same walk as ordered_sequence_ids, over entry ordinals, keeping the
  // depth of every element reached from the start.
  std::vector<const SequenceEntry*> all;
  all.reserve(seq.entries.size());
  for (const SequenceEntry& e : seq.entries) all.push_back(&e);
  const std::size_t n = all.size();

  auto ordinal_of = [&](const ElementId& id) -> std::optional<std::size_t> {
    auto it = std::lower_bound(all.begin(), all.end(), id,
                               [](const SequenceEntry* e, const ElementId& key) { return e->first < key; });
    if (it == all.end() || (*it)->first != id) return std::nullopt;
    return static_cast<std::size_t>(it - all.begin());
  };

  std::vector<std::uint32_t> starts;  // children of the start, ascending
  std::vector<std::vector<std::uint32_t>> children(n);
  for (std::size_t i = 0; i < n; ++i) {
    const SequenceEntryState& e = all[i]->second;
    if (!e.inserted) continue;
    if (!e.after) {
      starts.push_back(static_cast<std::uint32_t>(i));
    } else if (auto a = ordinal_of(*e.after)) {
      children[*a].push_back(static_cast<std::uint32_t>(i));
    }
  }

  SequenceView view;
  view.slots.reserve(n);
  std::vector<char> visited(n, 0);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // ordinal, depth
  auto walk = [&](const std::vector<std::uint32_t>& first, std::uint32_t depth) {
    for (std::uint32_t c : first) stack.emplace_back(c, depth);
    while (!stack.empty()) {
      auto [i, d] = stack.back();
      stack.pop_back();
      if (visited[i]) continue;
      visited[i] = 1;
      view.slots.push_back(SequenceSlot{all[i], d, 0, seq.deletes.contains(all[i]->first)});
      for (std::uint32_t c : children[i]) stack.emplace_back(c, d + 1);
    }
  };
  walk(starts, 1);
  for (std::size_t i = 0; i < n; ++i) {
    if (visited[i] || !all[i]->second.inserted) continue;
    view.has_orphans = true;
    walk({static_cast<std::uint32_t>(i)}, 1);
  }
  for (const SequenceSlot& s : view.slots) view.live += s.deleted ? 0 : 1;
  return view;
}

SequenceView* SequenceViews::find(const SequenceState* seq) {
  auto it = views_.find(seq);
  return it == views_.end() ? nullptr : &it->second;
}

void SequenceViews::put(const SequenceState* seq, SequenceView view) { views_.insert_or_assign(seq, std::move(view)); }

void SequenceViews::on_inserted(const SequenceState& seq, const SequenceEntry& entry) {
  SequenceView* view = find(&seq);
  if (view == nullptr) return;
  if (view->has_orphans) return drop(&seq);

  // The new element goes among the children of its anchor, which stand in
  // descending order, each followed by its subtree: after every child
  // subtree whose root is greater than the new element.
  std::size_t at = 0;
  std::uint32_t anchor_depth = 0;
  if (const std::optional<ElementId>& after = entry.second.after) {
    auto a = seq.entries.find(*after);
    if (a == seq.entries.end() || !a->second.inserted) return drop(&seq);  // an orphan
    std::optional<std::size_t> p = view->find(&*a);
    if (!p) return drop(&seq);
    at = *p + 1;
    anchor_depth = view->slots[*p].depth;
  }
  const ElementId& id = entry.first;
  const std::size_t n = view->slots.size();
  while (at < n && view->slots[at].depth > anchor_depth) {
    const SequenceSlot& s = view->slots[at];
    if (s.depth == anchor_depth + 1 && s.entry->first < id) break;
    ++at;
  }
  const bool deleted = seq.deletes.contains(id);
  view->slots.insert(view->slots.begin() + static_cast<std::ptrdiff_t>(at),
                     SequenceSlot{&entry, anchor_depth + 1, 0, deleted});
  view->live += deleted ? 0 : 1;
  view->hint = at;
}

void SequenceViews::on_deleted(const SequenceState& seq, const ElementId& id) {
  SequenceView* view = find(&seq);
  if (view == nullptr) return;
  auto e = seq.entries.find(id);
  if (e == seq.entries.end() || !e->second.inserted) return;  // not in the order yet
  std::optional<std::size_t> p = view->find(&*e);
  if (!p) return drop(&seq);
  SequenceSlot& slot = view->slots[*p];
  if (!slot.deleted) {
    slot.deleted = true;
    --view->live;
  }
}

}  // namespace ww::crdt::reducer
