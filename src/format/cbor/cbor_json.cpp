#include "format/cbor/cbor_json.h"

#include "format/binary/json_value_write.h"
#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"
#include "format/json/json_value_read.h"

namespace ww::cbor {

void write_json_value(const JsonValue& v, std::string& out) { binary::write_json_value<Writer>(v, out); }

Result<JsonValue> read_json_value(std::string_view bytes) {
  return read_item(bytes, [](De& de) { return json::read_json_value(de); });
}

}  // namespace ww::cbor
