// A map from text keys to V held as one vector of (key, value) pairs in
// ascending byte order of keys: one allocation per map, not per entry, and
// a walk in key order is a walk through memory.
//
// It offers the parts of the std::map interface that model code uses: find
// and contains by std::string_view, iteration yielding .first / .second,
// emplace, emplace_hint, try_emplace, insert_or_assign, operator[], erase.
// A single insertion or erasure in the middle shifts the entries after it;
// code that adds many keys in no particular order collects them and builds
// the map once with from_unsorted (n log n), and code that adds them in
// ascending order appends.
//
// Keys are reachable through mutable iterators (so that values can be
// changed in place); changing a key through one breaks the order and is a
// bug of the caller.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ww {

template <class V>
class FlatMap {
 public:
  using key_type = std::string;
  using mapped_type = V;
  using value_type = std::pair<std::string, V>;
  using Entries = std::vector<value_type>;
  using iterator = typename Entries::iterator;
  using const_iterator = typename Entries::const_iterator;
  using size_type = std::size_t;

  FlatMap() = default;
  // As a std::map built from a list: of a repeated key the first entry counts.
  FlatMap(std::initializer_list<value_type> entries) : entries_(entries) { sort_keeping(false); }

  // Entries in any order: sorted by key, and of a repeated key only the
  // last entry in `entries` is kept.
  static FlatMap from_unsorted(Entries entries) {
    FlatMap m;
    m.entries_ = std::move(entries);
    m.sort_keeping(true);
    return m;
  }

  // The same, moving the entries out of `source` (left moved-from): for a
  // reader that gathers members elsewhere.
  static FlatMap take_unsorted(std::span<value_type> source) {
    FlatMap m;
    m.entries_ = sorted_out_of(source, true);
    return m;
  }

  // Entries whose keys are already strictly ascending (checked only in
  // builds with assertions: the callers have just compared them).
  static FlatMap from_sorted(Entries entries) {
#ifndef NDEBUG
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if (!(entries[i - 1].first < entries[i].first)) broken("FlatMap::from_sorted: keys out of order");
    }
#endif
    FlatMap m;
    m.entries_ = std::move(entries);
    return m;
  }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const_iterator cbegin() const { return entries_.cbegin(); }
  const_iterator cend() const { return entries_.cend(); }

  size_type size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  void reserve(size_type n) { entries_.reserve(n); }
  const Entries& entries() const { return entries_; }
  // Hands the entries over, leaving the map empty.
  Entries release() { return std::move(entries_); }

  // The first entry whose key is not below `key`.
  iterator lower_bound(std::string_view key) { return begin() + lower_index(key); }
  const_iterator lower_bound(std::string_view key) const { return begin() + lower_index(key); }

  iterator find(std::string_view key) {
    const std::size_t i = lower_index(key);
    return i < entries_.size() && entries_[i].first == key ? begin() + i : end();
  }
  const_iterator find(std::string_view key) const {
    const std::size_t i = lower_index(key);
    return i < entries_.size() && entries_[i].first == key ? begin() + i : end();
  }
  bool contains(std::string_view key) const { return find(key) != end(); }
  size_type count(std::string_view key) const { return contains(key) ? 1 : 0; }

  // Adds the entry when the key is absent (constructing V from `args`);
  // leaves a present entry as it is.
  template <class K, class... A>
  std::pair<iterator, bool> try_emplace(K&& key, A&&... args) {
    const std::size_t i = lower_index(key);
    if (i < entries_.size() && entries_[i].first == std::string_view(key)) return {begin() + i, false};
    return {insert_at(i, std::forward<K>(key), V(std::forward<A>(args)...)), true};
  }
  template <class K, class M>
  std::pair<iterator, bool> emplace(K&& key, M&& value) {
    return try_emplace(std::forward<K>(key), std::forward<M>(value));
  }

  // Adds the entry, or replaces the value of a present one.
  template <class K, class M>
  std::pair<iterator, bool> insert_or_assign(K&& key, M&& value) {
    const std::size_t i = lower_index(key);
    if (i < entries_.size() && entries_[i].first == std::string_view(key)) {
      entries_[i].second = std::forward<M>(value);
      return {begin() + i, false};
    }
    return {insert_at(i, std::forward<K>(key), V(std::forward<M>(value))), true};
  }

  // As try_emplace; a hint at the place where the key belongs (end() for a
  // key above every key held) saves the search.
  template <class K, class M>
  iterator emplace_hint(const_iterator hint, K&& key, M&& value) {
    const std::string_view k(key);
    const std::size_t i = static_cast<std::size_t>(hint - cbegin());
    const bool after_prev = i == 0 || entries_[i - 1].first < k;
    const bool before_next = i == entries_.size() || k < entries_[i].first;
    if (after_prev && before_next) return insert_at(i, std::forward<K>(key), V(std::forward<M>(value)));
    return try_emplace(std::forward<K>(key), std::forward<M>(value)).first;
  }

  // Adds an entry whose key is above every key held.
  void append(std::string key, V value) {
    if (!entries_.empty() && !(entries_.back().first < key)) broken("FlatMap::append: key out of order");
    entries_.emplace_back(std::move(key), std::move(value));
  }

  // The value of `key`, added as V() when absent.
  V& operator[](std::string_view key) { return try_emplace(key).first->second; }

  iterator erase(const_iterator pos) { return entries_.erase(pos); }
  iterator erase(const_iterator first, const_iterator last) { return entries_.erase(first, last); }
  size_type erase(std::string_view key) {
    auto it = find(key);
    if (it == end()) return 0;
    entries_.erase(it);
    return 1;
  }

  // Adds many entries at once, in one pass over the map: `more` in any
  // order, of a repeated key its last entry; an entry whose key is present
  // replaces the value.
  void merge(Entries more) {
    if (more.size() <= 1) {
      for (value_type& e : more) insert_or_assign(std::move(e.first), std::move(e.second));
      return;
    }
    Entries add = from_unsorted(std::move(more)).release();
    Entries out;
    out.reserve(entries_.size() + add.size());
    auto a = entries_.begin();
    auto b = add.begin();
    while (a != entries_.end() && b != add.end()) {
      if (a->first < b->first) {
        out.push_back(std::move(*a++));
      } else {
        if (!(b->first < a->first)) ++a;  // replaced
        out.push_back(std::move(*b++));
      }
    }
    std::move(a, entries_.end(), std::back_inserter(out));
    std::move(b, add.end(), std::back_inserter(out));
    entries_ = std::move(out);
  }

  // Removes the entries of all `keys` that are present, in one pass over
  // the map from the first of them.
  void erase_keys(std::vector<std::string_view> keys) {
    if (keys.empty()) return;
    std::sort(keys.begin(), keys.end());
    auto k = keys.begin();
    std::size_t w = lower_index(*k);
    for (std::size_t i = w; i < entries_.size(); ++i) {
      const std::string_view here(entries_[i].first);
      while (k != keys.end() && *k < here) ++k;
      if (k != keys.end() && *k == here) continue;
      if (w != i) entries_[w] = std::move(entries_[i]);
      ++w;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(w), entries_.end());
  }

 private:
  [[noreturn]] static void broken(const char* what) {
    std::fprintf(stderr, "wirewright: broken invariant: %s\n", what);
    std::abort();
  }

  std::size_t lower_index(std::string_view key) const {
    // Plain byte order: std::string_view compares as unsigned chars.
    std::size_t lo = 0;
    std::size_t n = entries_.size();
    while (n > 0) {
      const std::size_t half = n / 2;
      if (std::string_view(entries_[lo + half].first) < key) {
        lo += half + 1;
        n -= half + 1;
      } else {
        n = half;
      }
    }
    return lo;
  }

  template <class K>
  iterator insert_at(std::size_t i, K&& key, V value) {
    return entries_.emplace(begin() + i, std::string(std::forward<K>(key)), std::move(value));
  }

  // Sorts by key; of each run of one key only the last entry (the latest
  // in the input) stays, or the first.
  void sort_keeping(bool last) {
    if (entries_.size() < 2) return;
    entries_ = sorted_out_of(entries_, last);
  }

  // The entries of `source` moved into a vector in key order, of each run
  // of one key only the last or the first. Positions are sorted rather
  // than entries, which are costly to move: each entry then moves once,
  // straight into its place.
  static Entries sorted_out_of(std::span<value_type> source, bool last) {
    const std::size_t n = source.size();
    std::size_t small[32];
    std::vector<std::size_t> large;
    std::size_t* pos = small;
    if (n > 32) {
      large.resize(n);
      pos = large.data();
    }
    for (std::size_t i = 0; i < n; ++i) pos[i] = i;
    // Ties keep input order, so a run of one key lists its entries in order.
    std::sort(pos, pos + n, [&source](std::size_t a, std::size_t b) {
      const int c = source[a].first.compare(source[b].first);
      return c < 0 || (c == 0 && a < b);
    });
    Entries out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
      std::size_t j = i + 1;
      while (j < n && source[pos[j]].first == source[pos[i]].first) ++j;
      out.push_back(std::move(source[pos[last ? j - 1 : i]]));
      i = j;
    }
    return out;
  }

  Entries entries_;
};

}  // namespace ww
