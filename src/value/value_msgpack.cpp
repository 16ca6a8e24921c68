#include "value/value_msgpack.h"

#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"
#include "value/value_read.h"
#include "value/value_write_binary.h"

namespace ww {

void write_value_msgpack(const Value& v, std::string& out) { write_value_binary<msgpack::Writer>(v, out); }

Result<Value> value_from_msgpack(std::string_view bytes) {
  return msgpack::read_item(bytes, [](msgpack::De& de) { return read_value(de); });
}

}  // namespace ww
