#include "diff/patch_cbor.h"

#include "diff/patch_read.h"
#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"
#include "value/value_cbor.h"

namespace ww {

using namespace cbor;

void write_path_cbor(const Path& path, std::string& out) {
  put_array_head(out, path.size());
  for (const PathSeg& seg : path) {
    put_map_head(out, 1);
    if (seg.is_key()) {
      put_text(out, "Key");
      put_text(out, seg.as_key());
    } else {
      put_text(out, "Index");
      put_uint(out, seg.as_index());
    }
  }
}

void write_op_cbor(const Op& op, std::string& out) {
  put_map_head(out, 1);
  put_text(out, kOpKindNames[static_cast<std::size_t>(op.kind())]);
  switch (op.kind()) {
    case Op::Kind::Set: {
      const auto& x = op.as<Op::Set>();
      put_map_head(out, 2);
      put_text(out, "path");
      write_path_cbor(x.path, out);
      put_text(out, "value");
      write_value_cbor(x.value, out);
      return;
    }
    case Op::Kind::Remove: {
      put_map_head(out, 1);
      put_text(out, "path");
      write_path_cbor(op.as<Op::Remove>().path, out);
      return;
    }
    case Op::Kind::Insert: {
      const auto& x = op.as<Op::Insert>();
      put_map_head(out, 3);
      put_text(out, "path");
      write_path_cbor(x.path, out);
      put_text(out, "index");
      put_uint(out, x.index);
      put_text(out, "value");
      write_value_cbor(x.value, out);
      return;
    }
    case Op::Kind::RemoveAt: {
      const auto& x = op.as<Op::RemoveAt>();
      put_map_head(out, 2);
      put_text(out, "path");
      write_path_cbor(x.path, out);
      put_text(out, "index");
      put_uint(out, x.index);
      return;
    }
    case Op::Kind::Move: {
      const auto& x = op.as<Op::Move>();
      put_map_head(out, 3);
      put_text(out, "path");
      write_path_cbor(x.path, out);
      put_text(out, "from");
      put_uint(out, x.from);
      put_text(out, "to");
      put_uint(out, x.to);
      return;
    }
    case Op::Kind::Reorder: {
      const auto& x = op.as<Op::Reorder>();
      put_map_head(out, 2);
      put_text(out, "path");
      write_path_cbor(x.path, out);
      put_text(out, "order");
      put_array_head(out, x.order.size());
      for (std::uint64_t k : x.order) put_uint(out, k);
      return;
    }
  }
}

void write_patch_cbor(const Patch& patch, std::string& out) {
  put_map_head(out, 2);
  put_text(out, "rev");
  put_uint(out, patch.rev);
  put_text(out, "ops");
  put_array_head(out, patch.ops.size());
  for (const Op& op : patch.ops) write_op_cbor(op, out);
}

Result<Patch> patch_from_cbor(std::string_view bytes) {
  return read_item(bytes, [](De& de) { return read_patch(de); });
}

}  // namespace ww
