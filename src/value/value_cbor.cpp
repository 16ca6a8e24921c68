#include "value/value_cbor.h"

// GCC 12 misreads the moves of a Value's variant inlined into the reader
// below as uses of an uninitialised string (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"
#include "value/value_read.h"

namespace ww {

using namespace cbor;

void write_value_cbor(const Value& v, std::string& out) {
  if (v.is(Value::Kind::Null)) {
    put_text(out, "Null");
    return;
  }
  put_map_head(out, 1);
  put_text(out, kind_name(v.kind()));
  switch (v.kind()) {
    case Value::Kind::Null: break;
    case Value::Kind::Bool: put_bool(out, v.as_bool()); break;
    case Value::Kind::Int: put_int(out, v.as_int()); break;
    case Value::Kind::Float: put_f64(out, v.as_float()); break;
    case Value::Kind::Str: put_text(out, v.as_str()); break;
    case Value::Kind::List:
      put_array_head(out, v.as_list().size());
      for (const Value& e : v.as_list()) write_value_cbor(e, out);
      break;
    case Value::Kind::Map:
      put_map_head(out, v.as_map().size());
      for (const auto& [k, e] : v.as_map()) {
        put_text(out, k);
        write_value_cbor(e, out);
      }
      break;
    case Value::Kind::Submodel: put_uint(out, v.as_submodel().id); break;
  }
}

Result<Value> value_from_cbor(std::string_view bytes) {
  return read_item(bytes, [](De& de) { return read_value(de); });
}

}  // namespace ww
