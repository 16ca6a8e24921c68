// Damages a text the way the fall-back tests of the one-pass readers need:
// one to three changes, each a byte replaced from `alphabet`, a few bytes
// dropped, a byte inserted, or a span of up to 40 bytes given twice.
#pragma once

#include <random>
#include <string>

namespace ww::test_damage {

inline void damage(std::string& text, std::mt19937& rng, const std::string& alphabet) {
  const int changes = 1 + static_cast<int>(rng() % 3);
  for (int d = 0; d < changes; ++d) {
    if (text.empty()) return;
    const std::size_t at = rng() % text.size();
    switch (rng() % 4) {
      case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
      case 1: text.erase(at, 1 + rng() % 4); break;
      case 2: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
      default: text.insert(at, text.substr(at, 1 + rng() % 40));
    }
  }
}

}  // namespace ww::test_damage
