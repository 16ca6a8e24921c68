#include "diff/patch_msgpack.h"

#include "diff/patch_read.h"
#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"
#include "value/value_msgpack.h"

namespace ww {

using namespace msgpack;

void write_path_msgpack(const Path& path, std::string& out) {
  put_array_header(out, path.size());
  for (const PathSeg& seg : path) {
    if (seg.is_key()) {
      out.append("\x81\xa3" "Key");
      put_str(out, seg.as_key());
    } else {
      out.append("\x81\xa5" "Index");
      put_uint(out, seg.as_index());
    }
  }
}

void write_op_msgpack(const Op& op, std::string& out) {
  out.push_back(static_cast<char>(0x81));
  put_str(out, kOpKindNames[static_cast<std::size_t>(op.kind())]);
  switch (op.kind()) {
    case Op::Kind::Set: {
      const auto& x = op.as<Op::Set>();
      put_array_header(out, 2);
      write_path_msgpack(x.path, out);
      write_value_msgpack(x.value, out);
      return;
    }
    case Op::Kind::Remove: {
      put_array_header(out, 1);
      write_path_msgpack(op.as<Op::Remove>().path, out);
      return;
    }
    case Op::Kind::Insert: {
      const auto& x = op.as<Op::Insert>();
      put_array_header(out, 3);
      write_path_msgpack(x.path, out);
      put_uint(out, x.index);
      write_value_msgpack(x.value, out);
      return;
    }
    case Op::Kind::RemoveAt: {
      const auto& x = op.as<Op::RemoveAt>();
      put_array_header(out, 2);
      write_path_msgpack(x.path, out);
      put_uint(out, x.index);
      return;
    }
    case Op::Kind::Move: {
      const auto& x = op.as<Op::Move>();
      put_array_header(out, 3);
      write_path_msgpack(x.path, out);
      put_uint(out, x.from);
      put_uint(out, x.to);
      return;
    }
    case Op::Kind::Reorder: {
      const auto& x = op.as<Op::Reorder>();
      put_array_header(out, 2);
      write_path_msgpack(x.path, out);
      put_array_header(out, x.order.size());
      for (std::uint64_t k : x.order) put_uint(out, k);
      return;
    }
  }
}

void write_patch_msgpack(const Patch& patch, std::string& out) {
  put_array_header(out, 2);
  put_uint(out, patch.rev);
  put_array_header(out, patch.ops.size());
  for (const Op& op : patch.ops) write_op_msgpack(op, out);
}

Result<Patch> patch_from_msgpack(std::string_view bytes) {
  De de(bytes);
  return read_patch(de);
}

}  // namespace ww
