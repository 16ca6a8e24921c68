#include "format/msgpack/msgpack_errors.h"

namespace ww::msgpack {

Error marker_eof() { return Error::format("IO error while reading marker: failed to fill whole buffer"); }
Error data_eof() { return Error::format("IO error while reading data: failed to fill whole buffer"); }
Error payload_eof() { return Error::format("IO error while reading data: unexpected end of file"); }

Error wrong_marker(std::uint8_t marker) { return Error::format("wrong msgpack marker " + marker_name(marker)); }

Error length_mismatch(std::uint32_t n) {
  return Error::format("array had incorrect length, expected " + std::to_string(n));
}

Error depth_exceeded() { return Error::format("depth limit exceeded"); }

Error invalid_utf8(const Utf8Fault& fault) {
  return Error::format("string found to be invalid utf8: " + describe_utf8_fault(fault));
}

std::string marker_name(std::uint8_t m) {
  auto with = [](const char* name, int n) { return std::string(name) + "(" + std::to_string(n) + ")"; };
  if (m <= 0x7f) return with("FixPos", m);
  if (m <= 0x8f) return with("FixMap", m & 0x0f);
  if (m <= 0x9f) return with("FixArray", m & 0x0f);
  if (m <= 0xbf) return with("FixStr", m & 0x1f);
  if (m >= 0xe0) return with("FixNeg", static_cast<int>(m) - 256);
  static constexpr const char* kNames[] = {
      "Null",    "Reserved", "False",   "True",    "Bin8",     "Bin16",   "Bin32",   "Ext8",
      "Ext16",   "Ext32",    "F32",     "F64",     "U8",       "U16",     "U32",     "U64",
      "I8",      "I16",      "I32",     "I64",     "FixExt1",  "FixExt2", "FixExt4", "FixExt8",
      "FixExt16", "Str8",    "Str16",   "Str32",   "Array16",  "Array32", "Map16",   "Map32",
  };
  return kNames[m - 0xc0];
}

}  // namespace ww::msgpack
