// Writing CBOR inputs readably: hex bytes separated by spaces, and "text"
// for a text string shorter than 24 bytes (head included), so that
// `a1 "Int" 01` is the bytes A1 63 49 6E 74 01.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ww::testing_cbor {

inline std::string cb(std::string_view spec) {
  std::string out;
  std::size_t i = 0;
  while (i < spec.size()) {
    if (spec[i] == ' ') {
      ++i;
    } else if (spec[i] == '"') {
      const std::size_t end = spec.find('"', i + 1);
      const std::string_view text = spec.substr(i + 1, end - i - 1);
      out.push_back(static_cast<char>(0x60 | text.size()));
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

// The final text of the reader's "input ends early" error.
inline constexpr const char* kIoEof = R"(Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" }))";

// `n` nested containers: `open` n times, then `inner`, then `close` n times.
inline std::string nested(std::size_t n, std::string_view open, std::string_view inner, std::string_view close = "") {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out.append(open);
  out.append(inner);
  for (std::size_t i = 0; i < n; ++i) out.append(close);
  return out;
}

}  // namespace ww::testing_cbor
