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
      entries_.push_back({std::string_view(text_).substr(begin, ends[e] - begin), from + e});
      begin = ends[e];
    }
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      if (a.key != b.key) return a.key < b.key;
      return a.position < b.position;
    });
    next_.resize(entries_.size());
    for (std::size_t e = 0; e < entries_.size(); ++e) next_[e] = e;
  }

  // Takes the first remaining position queued under `key`.
  std::optional<std::size_t> take(std::string_view key) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& a, std::string_view k) { return a.key < k; });
    if (it == entries_.end() || it->key != key) return std::nullopt;
    std::size_t& cursor = next_[static_cast<std::size_t>(it - entries_.begin())];
    if (cursor == entries_.size() || entries_[cursor].key != key) return std::nullopt;
    return entries_[cursor++].position;
  }

 private:
  struct Entry {
    std::string_view key;
    std::size_t position;
  };
  std::string text_;            // every key, back to back
  std::vector<Entry> entries_;
  std::vector<std::size_t> next_;  // per queue head: the next entry to take
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
