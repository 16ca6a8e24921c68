#include "format/msgpack/msgpack_json.h"

#include "format/json/json_value_read.h"
#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"

namespace ww::msgpack {

void write_json_value(const JsonValue& v, std::string& out) {
  switch (v.kind()) {
    case JsonValue::Kind::Null: put_nil(out); return;
    case JsonValue::Kind::Bool: put_bool(out, v.as_bool()); return;
    case JsonValue::Kind::U64: put_uint(out, v.as_u64()); return;
    case JsonValue::Kind::I64: put_int(out, v.as_i64()); return;
    case JsonValue::Kind::F64: put_f64(out, v.as_f64()); return;
    case JsonValue::Kind::Str: put_str(out, v.as_str()); return;
    case JsonValue::Kind::Array: {
      const auto& items = v.as_array();
      put_array_header(out, items.size());
      for (const auto& e : items) write_json_value(e, out);
      return;
    }
    case JsonValue::Kind::Object: {
      const auto& members = v.as_object();
      put_map_header(out, members.size());
      for (const auto& [k, e] : members) {
        put_str(out, k);
        write_json_value(e, out);
      }
      return;
    }
  }
}

Result<JsonValue> read_json_value(std::string_view bytes) {
  De de(bytes);
  return json::read_json_value(de);
}

}  // namespace ww::msgpack
