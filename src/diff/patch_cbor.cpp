#include "diff/patch_cbor.h"

#include "diff/patch_read.h"
#include "diff/patch_write_binary.h"
#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"

namespace ww {

void write_patch_cbor(const Patch& patch, std::string& out) { write_patch_binary<cbor::Writer>(patch, out); }

Result<Patch> patch_from_cbor(std::string_view bytes) {
  return cbor::read_item(bytes, [](cbor::De& de) { return read_patch(de); });
}

}  // namespace ww
