#include "format/msgpack/msgpack_de.h"

namespace ww::msgpack {

Status De::read_nil() {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (kMarkers[m].kind != ItemKind::Nil) return wrong_marker(m);
  return {};
}

// Skipping reads every byte it passes over, with the same limits and errors
// as reading: a skipped item must be complete and within the nesting limit.
Status De::ignored_any() {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  const Marker k = kMarkers[m];
  if (k.kind == ItemKind::Reserved) return wrong_marker(m);
  std::uint64_t n;
  if (!read_head(k, n)) return data_eof();
  switch (k.kind) {
    case ItemKind::Str:
    case ItemKind::Bin: WW_TRY(read_payload(static_cast<std::uint32_t>(n))); return {};
    case ItemKind::Ext: return skip_ext(static_cast<std::uint32_t>(n));
    case ItemKind::Array: return skip_items(n);
    case ItemKind::Map: return skip_items(2 * n);  // a key and a value each
    default: return {};
  }
}

Status De::skip_items(std::uint64_t count) {
  const Level level(depth_);
  if (!level) return depth_exceeded();
  for (std::uint64_t i = 0; i < count; ++i) WW_TRY(ignored_any());
  return {};
}

Status De::skip_ext(std::uint32_t len) {
  const Level level(depth_);
  if (!level) return depth_exceeded();
  WW_TRY(read_be<1>());  // the type byte
  WW_TRY(read_payload(len));
  return {};
}

}  // namespace ww::msgpack
