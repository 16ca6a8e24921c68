#include "format/msgpack/msgpack_de.h"

namespace ww::msgpack {

Status De::read_nil() {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (m != 0xc0) return wrong_marker(m);
  return {};
}

// Skipping reads every byte it passes over, with the same limits and errors
// as reading: a skipped item must be complete and within the nesting limit.
Status De::ignored_any() {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (m <= 0x7f || m >= 0xe0) return {};
  std::uint64_t entries = 0;  // items inside a container: two per map entry
  if (m <= 0x8f) {
    entries = 2 * (m & 0x0fu);
  } else if (m <= 0x9f) {
    entries = m & 0x0fu;
  } else if (m <= 0xbf) {
    WW_TRY(read_payload(m & 0x1fu));
    return {};
  } else {
    switch (m) {
      case 0xc0: case 0xc2: case 0xc3: return {};
      case 0xc1: return wrong_marker(m);
      case 0xc4: case 0xc5: case 0xc6: case 0xd9: case 0xda: case 0xdb: {
        WW_TRY_ASSIGN(std::uint32_t len, read_len(1 << (m <= 0xc6 ? m - 0xc4 : m - 0xd9)));
        WW_TRY(read_payload(len));
        return {};
      }
      case 0xc7: case 0xc8: case 0xc9: {
        WW_TRY_ASSIGN(std::uint32_t len, read_len(1 << (m - 0xc7)));
        return skip_ext(len);
      }
      case 0xd4: case 0xd5: case 0xd6: case 0xd7: case 0xd8: return skip_ext(1u << (m - 0xd4));
      case 0xcc: case 0xd0: WW_TRY(read_be<1>()); return {};
      case 0xcd: case 0xd1: WW_TRY(read_be<2>()); return {};
      case 0xca: case 0xce: case 0xd2: WW_TRY(read_be<4>()); return {};
      case 0xcb: case 0xcf: case 0xd3: WW_TRY(read_be<8>()); return {};
      case 0xdc: case 0xdd: {
        WW_TRY_ASSIGN(entries, read_len(m == 0xdc ? 2 : 4));
        break;
      }
      default: {  // 0xde, 0xdf
        WW_TRY_ASSIGN(std::uint32_t len, read_len(m == 0xde ? 2 : 4));
        entries = 2 * std::uint64_t{len};
        break;
      }
    }
  }
  WW_TRY(enter());
  for (std::uint64_t i = 0; i < entries; ++i) WW_TRY(ignored_any());
  leave();
  return {};
}

Status De::skip_ext(std::uint32_t len) {
  WW_TRY(enter());
  WW_TRY(read_be<1>());  // the type byte
  WW_TRY(read_payload(len));
  leave();
  return {};
}

}  // namespace ww::msgpack
