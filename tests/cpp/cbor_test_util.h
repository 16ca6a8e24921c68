// Writing CBOR inputs readably: hex bytes separated by spaces, and "text"
// for a text string shorter than 24 bytes (head included), so that
// `a1 "Int" 01` is the bytes A1 63 49 6E 74 01.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "hex_bytes.h"

namespace ww::testing_cbor {

// A short text's head is 60 plus its length.
inline std::string cb(std::string_view spec) { return test_bytes::hex_bytes(spec, 0x60); }
using test_bytes::hex;

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
