#include "diff/patch_msgpack.h"

#include "diff/patch_read.h"
#include "diff/patch_write_binary.h"
#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"

namespace ww {

void write_patch_msgpack(const Patch& patch, std::string& out) { write_patch_binary<msgpack::Writer>(patch, out); }

Result<Patch> patch_from_msgpack(std::string_view bytes) {
  return msgpack::read_item(bytes, [](msgpack::De& de) { return read_patch(de); });
}

}  // namespace ww
