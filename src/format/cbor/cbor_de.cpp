#include "format/cbor/cbor_de.h"

#include <algorithm>

namespace ww::cbor {

Result<Header> De::pull_untagged() {
  for (;;) {
    WW_TRY_ASSIGN(Header h, dec_.pull());
    if (!h.is(Header::Type::Tag)) return h;
  }
}

Result<De::RawInt> De::integer() {
  for (;;) {
    WW_TRY_ASSIGN(Header h, dec_.pull());
    switch (h.type) {
      case Header::Type::Positive: return RawInt{false, 0, h.arg};
      case Header::Type::Negative: return RawInt{true, 0, h.arg};
      case Header::Type::Tag:
        if (h.arg == kTagPositiveBignum || h.arg == kTagNegativeBignum) return bignum(h.arg == kTagNegativeBignum);
        continue;  // any other tag is skipped
      default: return refuse_head(h, "integer");
    }
  }
}

Result<De::RawInt> De::bignum(bool negative) {
  WW_TRY_ASSIGN(Header h, dec_.pull());
  if (!h.is(Header::Type::Bytes)) return refuse_head(h, "bytes");
  // Read in 16-byte chunks; leading zeros do not count.
  unsigned char digits[16];
  std::size_t n = 0;
  WW_TRY(dec_.segments(h, [&](std::uint64_t len, std::size_t) -> Status {
    while (len > 0) {
      const std::uint64_t chunk = std::min<std::uint64_t>(len, sizeof digits);
      WW_TRY_ASSIGN(std::string_view s, dec_.take(chunk));
      len -= chunk;
      for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (n == sizeof digits) return rec::custom("bigint too large");
        if (n == 0 && b == 0) continue;
        digits[n++] = b;
      }
    }
    return {};
  }));
  RawInt r;
  r.negative = negative;
  for (std::size_t i = 0; i < n; ++i) {
    r.hi = (r.hi << 8) | (r.lo >> 56);
    r.lo = (r.lo << 8) | digits[i];
  }
  return r;
}

}  // namespace ww::cbor
