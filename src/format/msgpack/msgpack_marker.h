// The MessagePack marker byte decoded once, into a table that reading,
// skipping and the error messages share: what item the marker opens, and
// where that item's number or length stands.
#pragma once

#include <array>
#include <iterator>
#include <cstdint>
#include <string_view>

namespace ww::msgpack {

enum class ItemKind : std::uint8_t { Nil, Reserved, Bool, Uint, Int, Float, Str, Bin, Array, Map, Ext };

struct Marker {
  ItemKind kind;
  // The bytes after the marker holding the item's number (Uint, Int,
  // Float) or length (Str, Bin, Array, Map, Ext), big-endian; 0 when the
  // marker holds it itself.
  std::uint8_t width;
  // What the marker holds itself: a fixint's byte (sign-extended from 8
  // bits for Int), a boolean's value, the length of a fixstr or of a
  // fixext's data, the count of a fixarray or a fixmap.
  std::uint8_t value;
  // The marker's name in messages (kMarkerNames); the first kFixForms
  // names are written with the value they hold: "FixPos(5)".
  std::uint8_t name;

  // nil, the booleans, every integer form and both float forms: what may
  // stand where a boolean, an integer or a float is expected.
  constexpr bool is_number() const {
    return kind == ItemKind::Nil || kind == ItemKind::Bool || kind == ItemKind::Uint || kind == ItemKind::Int ||
           kind == ItemKind::Float;
  }
};

inline constexpr std::uint8_t kFixForms = 5;

// The fix forms, then one name for each marker from 0xc0 to 0xdf.
inline constexpr std::string_view kMarkerNames[] = {
    "FixPos",   "FixMap",  "FixArray", "FixStr",  "FixNeg",
    "Null",     "Reserved", "False",   "True",    "Bin8",    "Bin16",   "Bin32",   "Ext8",    "Ext16",
    "Ext32",    "F32",      "F64",     "U8",      "U16",     "U32",     "U64",     "I8",      "I16",
    "I32",      "I64",      "FixExt1", "FixExt2", "FixExt4", "FixExt8", "FixExt16", "Str8",   "Str16",
    "Str32",    "Array16",  "Array32", "Map16",   "Map32",
};
static_assert(std::size(kMarkerNames) == kFixForms + 32);

constexpr Marker describe_marker(std::uint8_t m) {
  using K = ItemKind;
  auto fix = [](K kind, unsigned value, unsigned name) {
    return Marker{kind, 0, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(name)};
  };
  if (m <= 0x7f) return fix(K::Uint, m, 0);
  if (m <= 0x8f) return fix(K::Map, m & 0x0fu, 1);
  if (m <= 0x9f) return fix(K::Array, m & 0x0fu, 2);
  if (m <= 0xbf) return fix(K::Str, m & 0x1fu, 3);
  if (m >= 0xe0) return fix(K::Int, m, 4);
  const unsigned name = kFixForms + (m - 0xc0u);
  // A form whose number or length takes 1 << (m - first) bytes.
  auto wide = [&](K kind, unsigned first) {
    return Marker{kind, static_cast<std::uint8_t>(1u << (m - first)), 0, static_cast<std::uint8_t>(name)};
  };
  if (m == 0xc0) return fix(K::Nil, 0, name);
  if (m == 0xc1) return fix(K::Reserved, 0, name);
  if (m <= 0xc3) return fix(K::Bool, m - 0xc2u, name);
  if (m <= 0xc6) return wide(K::Bin, 0xc4);
  if (m <= 0xc9) return wide(K::Ext, 0xc7);
  if (m <= 0xcb) return wide(K::Float, 0xca - 2);  // 4 and 8 bytes
  if (m <= 0xcf) return wide(K::Uint, 0xcc);
  if (m <= 0xd3) return wide(K::Int, 0xd0);
  if (m <= 0xd8) return fix(K::Ext, 1u << (m - 0xd4), name);  // the fixext's data length
  if (m <= 0xdb) return wide(K::Str, 0xd9);
  if (m <= 0xdd) return wide(K::Array, 0xdc - 1);  // 2 and 4 bytes
  return wide(K::Map, 0xde - 1);
}

inline constexpr std::array<Marker, 256> kMarkers = [] {
  std::array<Marker, 256> table{};
  for (unsigned m = 0; m < 256; ++m) table[m] = describe_marker(static_cast<std::uint8_t>(m));
  return table;
}();

}  // namespace ww::msgpack
