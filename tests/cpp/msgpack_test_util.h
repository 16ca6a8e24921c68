// Writing MessagePack inputs readably: hex bytes separated by spaces, and
// "text" for a fixstr holding the text (header included), so that
// `81 "Int" 01` is the bytes 81 A3 49 6E 74 01.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ww::testing_msgpack {

inline std::string mp(std::string_view spec) {
  std::string out;
  std::size_t i = 0;
  while (i < spec.size()) {
    if (spec[i] == ' ') {
      ++i;
    } else if (spec[i] == '"') {
      std::size_t end = spec.find('"', i + 1);
      std::string_view text = spec.substr(i + 1, end - i - 1);
      out.push_back(static_cast<char>(0xa0 | text.size()));
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

}  // namespace ww::testing_msgpack
