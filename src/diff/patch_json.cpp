#include "diff/patch_json.h"

#include "diff/patch_read.h"
#include "format/json/json_value.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"
#include "value/value_json.h"

namespace ww {
namespace {

void append_position(const char* field, std::uint64_t v, std::string& out) {
  out.append(field);
  json::append_u64(v, out);
}

struct OpWriter {
  std::string& out;

  void operator()(const Op::Set& x) const {
    write_path_json(x.path, out);
    out.append(",\"value\":");
    write_value_json(x.value, out);
  }
  void operator()(const Op::Remove& x) const { write_path_json(x.path, out); }
  void operator()(const Op::Insert& x) const {
    write_path_json(x.path, out);
    append_position(",\"index\":", x.index, out);
    out.append(",\"value\":");
    write_value_json(x.value, out);
  }
  void operator()(const Op::RemoveAt& x) const {
    write_path_json(x.path, out);
    append_position(",\"index\":", x.index, out);
  }
  void operator()(const Op::Move& x) const {
    write_path_json(x.path, out);
    append_position(",\"from\":", x.from, out);
    append_position(",\"to\":", x.to, out);
  }
  void operator()(const Op::Reorder& x) const {
    write_path_json(x.path, out);
    out.append(",\"order\":[");
    for (std::size_t i = 0; i < x.order.size(); ++i) {
      if (i) out.push_back(',');
      json::append_u64(x.order[i], out);
    }
    out.push_back(']');
  }
};

}  // namespace

void write_path_seg_json(const PathSeg& seg, std::string& out) {
  if (seg.is_key()) {
    out.append("{\"Key\":");
    json::append_str(seg.as_key(), out);
  } else {
    out.append("{\"Index\":");
    json::append_u64(seg.as_index(), out);
  }
  out.push_back('}');
}

void write_path_json(const Path& path, std::string& out) {
  out.push_back('[');
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i) out.push_back(',');
    write_path_seg_json(path[i], out);
  }
  out.push_back(']');
}

void write_op_json(const Op& op, std::string& out) {
  out.append("{\"");
  out.append(kOpKindNames[static_cast<std::size_t>(op.kind())]);
  out.append("\":{\"path\":");
  std::visit(OpWriter{out}, op.v);
  out.append("}}");
}

void write_ops_json(const std::vector<Op>& ops, std::string& out) {
  out.push_back('[');
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (i) out.push_back(',');
    write_op_json(ops[i], out);
  }
  out.push_back(']');
}

void write_patch_json(const Patch& patch, std::string& out) {
  out.append("{\"rev\":");
  json::append_u64(patch.rev, out);
  out.append(",\"ops\":");
  write_ops_json(patch.ops, out);
  out.push_back('}');
}

std::string patch_to_json(const Patch& patch) {
  std::string out;
  write_patch_json(patch, out);
  return out;
}

Result<Patch> patch_from_json_text(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return read_patch(de); });
}

Result<Patch> patch_from_json_bytes(std::string_view bytes) {
  return json::read_whole(bytes, true, [](json::TextDe& de) { return read_patch(de); });
}

Result<std::vector<Op>> ops_from_json_text(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return read_ops(de); });
}

Result<Patch> patch_from_json_value(const JsonValue& json) {
  json::ValueDe de(json);
  return read_patch(de);
}

Result<std::vector<Op>> ops_from_json_value(const JsonValue& json) {
  json::ValueDe de(json);
  return read_ops(de);
}

}  // namespace ww
