// A JsonValue in either byte format, written once over the format's writer
// (msgpack::Writer or cbor::Writer): null, booleans, integers, doubles and
// texts as themselves; arrays, and objects in their stored order, with
// their counts.
#pragma once

#include <string>

#include "format/json/json_value.h"

namespace ww::binary {

template <class W>
void write_json_value(const JsonValue& v, std::string& out) {
  switch (v.kind()) {
    case JsonValue::Kind::Null: W::put_null(out); return;
    case JsonValue::Kind::Bool: W::put_bool(out, v.as_bool()); return;
    case JsonValue::Kind::U64: W::put_uint(out, v.as_u64()); return;
    case JsonValue::Kind::I64: W::put_int(out, v.as_i64()); return;
    case JsonValue::Kind::F64: W::put_f64(out, v.as_f64()); return;
    case JsonValue::Kind::Str: W::put_str(out, v.as_str()); return;
    case JsonValue::Kind::Array: {
      const auto& items = v.as_array();
      W::put_array_header(out, items.size());
      for (const auto& e : items) write_json_value<W>(e, out);
      return;
    }
    case JsonValue::Kind::Object: {
      const auto& members = v.as_object();
      W::put_map_header(out, members.size());
      for (const auto& [k, e] : members) {
        W::put_str(out, k);
        write_json_value<W>(e, out);
      }
      return;
    }
  }
}

}  // namespace ww::binary
