// Writing binary test inputs readably: hex bytes separated by spaces, and
// "text" for a short text string whose one-byte head is `short_text` plus
// its length; and the hex form of bytes, for messages.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ww::test_bytes {

inline std::string hex_bytes(std::string_view spec, unsigned char short_text) {
  std::string out;
  std::size_t i = 0;
  while (i < spec.size()) {
    if (spec[i] == ' ') {
      ++i;
    } else if (spec[i] == '"') {
      const std::size_t end = spec.find('"', i + 1);
      const std::string_view text = spec.substr(i + 1, end - i - 1);
      out.push_back(static_cast<char>(short_text | text.size()));
      out.append(text);
      i = end + 1;
    } else {
      out.push_back(static_cast<char>(std::stoi(std::string(spec.substr(i, 2)), nullptr, 16)));
      i += 2;
    }
  }
  return out;
}

inline std::string hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02x" : " %02x", c);
    out.append(buf);
  }
  return out;
}

}  // namespace ww::test_bytes
