// The byte-format form of a Value, written once over the format's writer
// (msgpack::Writer or cbor::Writer): "Null" as a bare text, every other
// kind a one-entry map from the kind's name to its payload.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "value/value.h"
#include "value/value_read.h"

namespace ww {

namespace value_write {

// What every value of a kind starts with, as one piece, built once per
// format: the bare name "Null", or the one-entry map header and the name.
template <class W>
[[gnu::always_inline]] inline const std::array<std::string, kValueKindNames.size()>& kind_heads() {
  static const auto heads = [] {
    std::array<std::string, kValueKindNames.size()> h;
    for (std::size_t k = 0; k < h.size(); ++k) {
      if (k != static_cast<std::size_t>(Value::Kind::Null)) W::put_map_header(h[k], 1);
      W::put_str(h[k], kValueKindNames[k]);
    }
    return h;
  }();
  return heads;
}

}  // namespace value_write

template <class W>
void write_value_binary(const Value& v, std::string& out) {
  const auto kind = v.kind();
  out.append(value_write::kind_heads<W>()[static_cast<std::size_t>(kind)]);
  switch (kind) {
    case Value::Kind::Null: break;
    case Value::Kind::Bool: W::put_bool(out, v.as_bool()); break;
    case Value::Kind::Int: W::put_int(out, v.as_int()); break;
    case Value::Kind::Float: W::put_f64(out, v.as_float()); break;
    case Value::Kind::Str: W::put_str(out, v.as_str()); break;
    case Value::Kind::List:
      W::put_array_header(out, v.as_list().size());
      for (const Value& e : v.as_list()) write_value_binary<W>(e, out);
      break;
    case Value::Kind::Map:
      W::put_map_header(out, v.as_map().size());
      for (const auto& [k, e] : v.as_map()) {
        W::put_str(out, k);
        write_value_binary<W>(e, out);
      }
      break;
    case Value::Kind::Submodel: W::put_uint(out, v.as_submodel().id); break;
  }
}

}  // namespace ww
