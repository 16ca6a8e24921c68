#include "value/value_cbor.h"

// GCC 12 misreads the moves of a Value's variant inlined into the reader
// below as uses of an uninitialised string (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"
#include "value/value_read.h"
#include "value/value_write_binary.h"

namespace ww {

void write_value_cbor(const Value& v, std::string& out) { write_value_binary<cbor::Writer>(v, out); }

Result<Value> value_from_cbor(std::string_view bytes) {
  return cbor::read_item(bytes, [](cbor::De& de) { return read_value(de); });
}

}  // namespace ww
