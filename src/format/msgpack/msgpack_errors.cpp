#include "format/msgpack/msgpack_errors.h"

#include "format/msgpack/msgpack_marker.h"

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
  const Marker k = kMarkers[m];
  std::string name(kMarkerNames[k.name]);
  if (k.name >= kFixForms) return name;
  const int held = k.kind == ItemKind::Int ? static_cast<std::int8_t>(m) : k.value;
  return name + "(" + std::to_string(held) + ")";
}

}  // namespace ww::msgpack
