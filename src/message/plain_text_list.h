// The list form both direct readers share: "[" elements "," ... "]", each
// element read into a new last slot of `items` by `read_element`; false
// on any deviation, as the readers that use it.
#pragma once

#include "format/json/text_de.h"

namespace ww {

// `de` stands at the "[" and has entered it (depth counted).
template <class Items, class ReadElement>
bool read_plain_list_items(json::TextDe& de, Items& items, ReadElement read_element) {
  de.eat_char();
  int c = de.parse_whitespace();
  if (c != ']') {
    for (;;) {
      if (!read_element(de, items.emplace_back())) return false;
      c = de.parse_whitespace();
      if (c == ']') break;
      if (c != ',') return false;
      de.eat_char();
    }
  }
  de.eat_char();
  de.leave();
  return true;
}

}  // namespace ww
