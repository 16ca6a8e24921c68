// Pairs: [key, value], exactly two elements ("a tuple of size 2"), and lists
// of them read into an ordered map.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "format/record/list.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

template <class K, class V, class FK, class FV>
struct PairVisitor : Visitor<PairVisitor<K, V, FK, FV>, std::pair<K, V>> {
  FK* read_key;
  FV* read_value;
  PairVisitor(FK& k, FV& v) : read_key(&k), read_value(&v) {}
  std::string expecting() const { return "a tuple of size 2"; }
  template <class S>
  Result<std::pair<K, V>> visit_seq(Ctx, S& seq) {
    std::pair<K, V> out;
    WW_TRY_ASSIGN(bool first, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(out.first, (*read_key)(de));
      return {};
    }));
    if (!first) return invalid_length(0, expecting());
    WW_TRY_ASSIGN(bool second, seq.next([&](auto& de) -> Status {
      WW_TRY_ASSIGN(out.second, (*read_value)(de));
      return {};
    }));
    if (!second) return invalid_length(1, expecting());
    return out;
  }
};

template <class K, class V, class D, class FK, class FV>
Result<std::pair<K, V>> read_pair(D& de, FK&& read_key, FV&& read_value) {
  return de.seq(PairVisitor<K, V, std::remove_reference_t<FK>, std::remove_reference_t<FV>>(read_key, read_value));
}

// The whole list of pairs is read first, then each pair is entered in list
// order; a key met twice fails with `duplicate`.
template <class K, class V, class D, class FK, class FV>
Result<std::map<K, V>> read_pair_list(D& de, FK&& read_key, FV&& read_value, std::string_view duplicate) {
  using Pairs = std::vector<std::pair<K, V>>;
  WW_TRY_ASSIGN(Pairs pairs, (read_list<std::pair<K, V>>(de, [&](auto& d) {
                  return read_pair<K, V>(d, read_key, read_value);
                })));
  std::map<K, V> out;
  for (auto& [k, v] : pairs) {
    if (!out.emplace(std::move(k), std::move(v)).second) return custom(std::string(duplicate));
  }
  return out;
}

}  // namespace ww::rec
