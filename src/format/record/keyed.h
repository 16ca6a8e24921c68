// An object from text keys to values read by `read(de)`, into an ordered
// map; a repeated key keeps its last value: "a map".
#pragma once

#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::rec {

template <class Map, class F>
struct KeyedVisitor : Visitor<KeyedVisitor<Map, F>, Map> {
  F* read;
  explicit KeyedVisitor(F& f) : read(&f) {}
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<Map> visit_map(Ctx, M& map) {
    Map out;
    for (;;) {
      std::string key;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(key, kd.str(StringVisitor{}));
        return {};
      }));
      if (!more) return out;
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY_ASSIGN(typename Map::mapped_type v, (*read)(de));
        // Keys usually arrive in order: append without a search.
        if (out.empty() || std::prev(out.end())->first < key) {
          out.emplace_hint(out.end(), std::move(key), std::move(v));
        } else {
          out.insert_or_assign(std::move(key), std::move(v));
        }
        return {};
      }));
    }
  }
};

template <class Map, class D, class F>
Result<Map> read_keyed(D& de, F&& read) {
  return de.map(KeyedVisitor<Map, std::remove_reference_t<F>>(read));
}

}  // namespace ww::rec
