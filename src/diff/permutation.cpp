#include "diff/permutation.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "value/value_json.h"

namespace ww::diff {
namespace {

// The content keys of old_list[from..], sorted by key bytes and then by
// position: each run of one key is that key's queue of positions in order.
//
// All keys are kept back to back in one buffer. To keep comparisons inside
// the entry array, each entry carries the 8 bytes that follow the prefix
// every key shares (big-endian, zero-padded: JSON text holds no NUL byte, so
// padding orders a shorter key first, as a proper prefix should be); the
// buffer is read only when those bytes tie.
class KeyQueues {
 public:
  KeyQueues(const Value::List& list, std::size_t from) {
    const std::size_t count = list.size() - from;
    std::vector<std::size_t> ends;
    ends.reserve(count);
    for (std::size_t i = from; i < list.size(); ++i) {
      write_value_json(list[i], text_);
      ends.push_back(text_.size());
    }
    entries_.reserve(count);
    std::size_t begin = 0;
    for (std::size_t e = 0; e < count; ++e) {
      entries_.push_back({0, std::string_view(text_).substr(begin, ends[e] - begin), from + e});
      begin = ends[e];
    }
    if (!entries_.empty()) {
      shared_ = entries_[0].key.size();
      for (const Entry& entry : entries_) shared_ = common_prefix(entries_[0].key, entry.key, shared_);
      prefix_ = entries_[0].key.substr(0, shared_);
    }
    for (Entry& entry : entries_) entry.head = head_of(entry.key);
    std::sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) {
      if (int c = compare(a, b.head, b.key)) return c < 0;
      return a.position < b.position;
    });
    next_.resize(entries_.size());
    for (std::size_t e = 0; e < entries_.size(); ++e) next_[e] = e;
  }

  // Takes the first remaining position queued under `key`.
  std::optional<std::size_t> take(std::string_view key) {
    if (key.substr(0, shared_) != prefix_) return std::nullopt;  // shares no key's prefix
    const std::uint64_t head = head_of(key);
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [&](const Entry& a, std::string_view k) { return compare(a, head, k) < 0; });
    if (it == entries_.end() || compare(*it, head, key) != 0) return std::nullopt;
    std::size_t& cursor = next_[static_cast<std::size_t>(it - entries_.begin())];
    if (cursor == entries_.size() || compare(entries_[cursor], head, key) != 0) return std::nullopt;
    return entries_[cursor++].position;
  }

 private:
  struct Entry {
    std::uint64_t head;
    std::string_view key;
    std::size_t position;
  };

  static std::size_t common_prefix(std::string_view a, std::string_view b, std::size_t limit) {
    std::size_t i = 0;
    while (i < limit && i < b.size() && a[i] == b[i]) ++i;
    return i;
  }

  std::uint64_t head_of(std::string_view key) const {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      const std::size_t at = shared_ + i;
      head = (head << 8) | (at < key.size() ? static_cast<unsigned char>(key[at]) : 0u);
    }
    return head;
  }

  // Orders two keys that both start with the shared prefix.
  int compare(const Entry& a, std::uint64_t head, std::string_view key) const {
    if (a.head != head) return a.head < head ? -1 : 1;
    return a.key.substr(shared_).compare(key.substr(shared_));
  }

  std::string text_;  // every key, back to back
  std::vector<Entry> entries_;
  std::vector<std::size_t> next_;  // per queue head: the next entry to take
  std::size_t shared_ = 0;         // length of the prefix every key shares
  std::string_view prefix_;
};

}  // namespace

std::optional<std::vector<std::uint64_t>> rearrangement_order(const Value::List& old_list,
                                                              const Value::List& new_list,
                                                              std::size_t matched) {
  std::vector<std::uint64_t> order(new_list.size());
  for (std::size_t k = 0; k < matched; ++k) order[k] = k;
  KeyQueues queues(old_list, matched);
  std::string key;
  for (std::size_t k = matched; k < new_list.size(); ++k) {
    key.clear();
    write_value_json(new_list[k], key);
    std::optional<std::size_t> i = queues.take(key);
    // Equal keys may still hold unequal values (every NaN or infinity is
    // written as null); the first candidate is the only one tried.
    if (!i || !(old_list[*i] == new_list[k])) return std::nullopt;
    order[k] = *i;
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
