#include "format/cbor/cbor_writer.h"

#include <bit>
#include <optional>

#include "format/cbor/cbor_float.h"

namespace ww::cbor {
namespace {

template <int N>
void put_be(std::string& out, std::uint8_t initial, std::uint64_t v) {
  char buf[1 + N];
  buf[0] = static_cast<char>(initial);
  for (int i = 0; i < N; ++i) buf[1 + i] = static_cast<char>(v >> (8 * (N - 1 - i)));
  out.append(buf, sizeof buf);
}

}  // namespace

void put_head(std::string& out, Major major, std::uint64_t arg) {
  const auto m = static_cast<std::uint8_t>(static_cast<unsigned>(major) << 5);
  if (arg < 24) {
    out.push_back(static_cast<char>(m | arg));
  } else if (arg <= 0xff) {
    put_be<1>(out, m | 24, arg);
  } else if (arg <= 0xffff) {
    put_be<2>(out, m | 25, arg);
  } else if (arg <= 0xffffffff) {
    put_be<4>(out, m | 26, arg);
  } else {
    put_be<8>(out, m | 27, arg);
  }
}

void Writer::put_f64(std::string& out, double v) {
  if (const std::optional<std::uint16_t> h = exact_half(v)) {
    put_be<2>(out, 0xf9, *h);
  } else if (const std::optional<std::uint32_t> s = exact_single(v)) {
    put_be<4>(out, 0xfa, *s);
  } else {
    put_be<8>(out, 0xfb, std::bit_cast<std::uint64_t>(v));
  }
}

}  // namespace ww::cbor
