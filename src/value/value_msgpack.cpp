#include "value/value_msgpack.h"

#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"
#include "value/value_read.h"

namespace ww {

namespace {

// The one-entry map header and the kind's name, as one piece.
void put_kind(std::string& out, Value::Kind k) {
  static constexpr std::string_view kHeads[] = {
      "", "\x81\xa4" "Bool", "\x81\xa3" "Int", "\x81\xa5" "Float",
      "\x81\xa3" "Str", "\x81\xa4" "List", "\x81\xa3" "Map", "\x81\xa8" "Submodel",
  };
  out.append(kHeads[static_cast<int>(k)]);
}

}  // namespace

void write_value_msgpack(const Value& v, std::string& out) {
  using namespace msgpack;
  if (v.is(Value::Kind::Null)) {
    out.append("\xa4" "Null");
    return;
  }
  put_kind(out, v.kind());
  switch (v.kind()) {
    case Value::Kind::Null: break;
    case Value::Kind::Bool: put_bool(out, v.as_bool()); break;
    case Value::Kind::Int: put_int(out, v.as_int()); break;
    case Value::Kind::Float: put_f64(out, v.as_float()); break;
    case Value::Kind::Str: put_str(out, v.as_str()); break;
    case Value::Kind::List:
      put_array_header(out, v.as_list().size());
      for (const auto& e : v.as_list()) write_value_msgpack(e, out);
      break;
    case Value::Kind::Map:
      put_map_header(out, v.as_map().size());
      for (const auto& [k, e] : v.as_map()) {
        put_str(out, k);
        write_value_msgpack(e, out);
      }
      break;
    case Value::Kind::Submodel: put_uint(out, v.as_submodel().id); break;
  }
}

Result<Value> value_from_msgpack(std::string_view bytes) {
  msgpack::De de(bytes);
  return read_value(de);
}

}  // namespace ww
