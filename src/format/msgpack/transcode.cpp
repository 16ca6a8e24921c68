#include "format/msgpack/transcode.h"

#include "format/binary/json_transcode.h"
#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"

namespace ww::msgpack {

Result<std::string> from_json_text(std::string_view text) { return binary::json_text_to_bytes<Writer>(text); }

Result<std::string> to_json_text(std::string_view bytes) {
  return read_item(bytes, [&](De& de) { return binary::item_to_json_text(de, bytes.size()); });
}

}  // namespace ww::msgpack
