// The byte-format form of paths, operations and patches, written once over
// the format's writer (msgpack::Writer or cbor::Writer). A path step and
// an operation are one-entry maps keyed by the kind's name; the fields of
// an operation and of a patch form a record in the writer's own way (an
// array of values in MessagePack, a map keyed by name in CBOR), fields in
// declaration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "diff/patch.h"
#include "value/value_write_binary.h"

namespace ww {

template <class W>
void write_path_binary(const Path& path, std::string& out) {
  W::put_array_header(out, path.size());
  for (const PathSeg& seg : path) {
    W::put_map_header(out, 1);
    if (seg.is_key()) {
      W::put_str(out, "Key");
      W::put_str(out, seg.as_key());
    } else {
      W::put_str(out, "Index");
      W::put_uint(out, seg.as_index());
    }
  }
}

template <class W>
void write_op_binary(const Op& op, std::string& out) {
  W::put_map_header(out, 1);
  W::put_str(out, kOpKindNames[static_cast<std::size_t>(op.kind())]);
  auto path = [&](const Path& p) {
    W::put_field_name(out, "path");
    write_path_binary<W>(p, out);
  };
  auto number = [&](std::string_view name, std::uint64_t v) {
    W::put_field_name(out, name);
    W::put_uint(out, v);
  };
  auto value = [&](const Value& v) {
    W::put_field_name(out, "value");
    write_value_binary<W>(v, out);
  };
  switch (op.kind()) {
    case Op::Kind::Set: {
      const auto& x = op.as<Op::Set>();
      W::put_record_header(out, 2);
      path(x.path);
      value(x.value);
      return;
    }
    case Op::Kind::Remove: {
      W::put_record_header(out, 1);
      path(op.as<Op::Remove>().path);
      return;
    }
    case Op::Kind::Insert: {
      const auto& x = op.as<Op::Insert>();
      W::put_record_header(out, 3);
      path(x.path);
      number("index", x.index);
      value(x.value);
      return;
    }
    case Op::Kind::RemoveAt: {
      const auto& x = op.as<Op::RemoveAt>();
      W::put_record_header(out, 2);
      path(x.path);
      number("index", x.index);
      return;
    }
    case Op::Kind::Move: {
      const auto& x = op.as<Op::Move>();
      W::put_record_header(out, 3);
      path(x.path);
      number("from", x.from);
      number("to", x.to);
      return;
    }
    case Op::Kind::Reorder: {
      const auto& x = op.as<Op::Reorder>();
      W::put_record_header(out, 2);
      path(x.path);
      W::put_field_name(out, "order");
      W::put_array_header(out, x.order.size());
      for (std::uint64_t k : x.order) W::put_uint(out, k);
      return;
    }
  }
}

template <class W>
void write_patch_binary(const Patch& patch, std::string& out) {
  W::put_record_header(out, 2);
  W::put_field_name(out, "rev");
  W::put_uint(out, patch.rev);
  W::put_field_name(out, "ops");
  W::put_array_header(out, patch.ops.size());
  for (const Op& op : patch.ops) write_op_binary<W>(op, out);
}

}  // namespace ww
