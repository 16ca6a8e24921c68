// The byte-format form of a Value, written once over the format's writer
// (msgpack::Writer or cbor::Writer): "Null" as a bare text, every other
// kind a one-entry map from the kind's name to its payload.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "value/value.h"
#include "value/value_read.h"

namespace ww {

namespace value_write {

// What every value of a kind starts with, as one piece, built at compile
// time per format: the bare name "Null", or the one-entry map header and
// the name. Every name fits the writer's one-byte text head.
template <class W>
struct KindHeads {
  struct Head {
    char bytes[16] = {};
    std::size_t size = 0;
  };
  static constexpr std::array<Head, kValueKindNames.size()> heads = [] {
    std::array<Head, kValueKindNames.size()> h{};
    for (std::size_t k = 0; k < h.size(); ++k) {
      const std::string_view name = kValueKindNames[k];
      Head& head = h[k];
      if (k != static_cast<std::size_t>(Value::Kind::Null)) head.bytes[head.size++] = static_cast<char>(W::kShortMap | 1);
      head.bytes[head.size++] = static_cast<char>(W::kShortStr | name.size());
      for (char c : name) head.bytes[head.size++] = c;
    }
    return h;
  }();
  static_assert([] {
    for (std::string_view name : kValueKindNames) {
      if (name.size() >= W::kShortStrLength || name.size() + 2 > sizeof(Head::bytes)) return false;
    }
    return true;
  }());

  static std::string_view of(Value::Kind k) {
    const Head& head = heads[static_cast<std::size_t>(k)];
    return {head.bytes, head.size};
  }
};

}  // namespace value_write

template <class W>
void write_value_binary(const Value& v, std::string& out) {
  const auto kind = v.kind();
  out.append(value_write::KindHeads<W>::of(kind));
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
