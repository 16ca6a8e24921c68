#include "diff/permutation.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "value/value_json.h"

namespace ww::diff {
namespace {

// The content keys of list[from..] and their positions, sorted by key bytes
// and then by position, so that each run of one key lists its positions in
// order: the key's queue.
//
// To keep comparisons inside the entry array, each entry carries the 8 bytes
// that follow the prefix all keys share (big-endian, zero-padded: JSON text
// holds no NUL byte, so padding orders a shorter key first, as a proper
// prefix should be); the key text is read only when those bytes tie.
struct Keyed {
  std::uint64_t head;
  std::string_view key;
  std::size_t position;
};

class KeyedList {
 public:
  KeyedList(const Value::List& list, std::size_t from) {
    for (std::size_t i = from; i < list.size(); ++i) {
      write_value_json(list[i], text_);
      ends_.push_back(text_.size());
    }
    entries_.reserve(ends_.size());
    std::size_t begin = 0;
    for (std::size_t e = 0; e < ends_.size(); ++e) {
      entries_.push_back({0, std::string_view(text_).substr(begin, ends_[e] - begin), from + e});
      begin = ends_[e];
    }
  }

  std::size_t text_size() const { return text_.size(); }
  std::vector<Keyed>& entries() { return entries_; }

 private:
  std::string text_;  // every key, back to back
  std::vector<std::size_t> ends_;
  std::vector<Keyed> entries_;
};

std::size_t common_prefix(std::string_view a, std::string_view b, std::size_t limit) {
  std::size_t i = 0;
  while (i < limit && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

void sort_by_key(std::vector<Keyed>& entries, std::size_t shared) {
  for (Keyed& e : entries) {
    std::uint64_t head = 0;
    for (std::size_t i = shared; i < shared + 8; ++i) {
      head = (head << 8) | (i < e.key.size() ? static_cast<unsigned char>(e.key[i]) : 0u);
    }
    e.head = head;
  }
  std::sort(entries.begin(), entries.end(), [shared](const Keyed& a, const Keyed& b) {
    if (a.head != b.head) return a.head < b.head;
    if (int c = a.key.substr(shared).compare(b.key.substr(shared))) return c < 0;
    return a.position < b.position;
  });
}

}  // namespace

std::optional<std::vector<std::uint64_t>> rearrangement_order(const Value::List& old_list,
                                                              const Value::List& new_list,
                                                              std::size_t matched) {
  // Element k of the new list takes the first old position left in its key's
  // queue. So the j-th occurrence of a key in the new list takes the j-th in
  // the old one, and the test succeeds exactly when both lists hold the same
  // keys equally often and every such pair holds equal values. Sorting both
  // by (key, position) lines those pairs up entry by entry.
  KeyedList old_keys(old_list, matched);
  KeyedList new_keys(new_list, matched);
  if (old_keys.text_size() != new_keys.text_size()) return std::nullopt;
  std::vector<Keyed>& a = old_keys.entries();
  std::vector<Keyed>& b = new_keys.entries();

  std::size_t shared = a.empty() ? 0 : a[0].key.size();
  for (const Keyed& e : a) shared = common_prefix(a[0].key, e.key, shared);
  for (const Keyed& e : b) shared = common_prefix(a[0].key, e.key, shared);
  sort_by_key(a, shared);
  sort_by_key(b, shared);

  std::vector<std::uint64_t> order(new_list.size());
  for (std::size_t k = 0; k < matched; ++k) order[k] = k;
  for (std::size_t e = 0; e < a.size(); ++e) {
    if (a[e].head != b[e].head || a[e].key != b[e].key) return std::nullopt;
    // Equal keys may still hold unequal values (every NaN or infinity is
    // written as null); the partner found is the only one tried.
    if (!(old_list[a[e].position] == new_list[b[e].position])) return std::nullopt;
    order[b[e].position] = a[e].position;
  }
  return order;
}

std::size_t longest_increasing_run(const std::vector<std::uint64_t>& order, std::size_t from) {
  std::vector<std::uint64_t> tops;
  for (std::size_t k = from; k < order.size(); ++k) {
    auto it = std::lower_bound(tops.begin(), tops.end(), order[k]);
    if (it == tops.end()) {
      tops.push_back(order[k]);
    } else {
      *it = order[k];
    }
  }
  return tops.size();
}

}  // namespace ww::diff
