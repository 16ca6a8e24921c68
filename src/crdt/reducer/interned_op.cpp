#include "crdt/reducer/interned_op.h"

#include <variant>

#include "crdt/reducer/ops_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

constexpr std::string_view kTags[] = {"register_set", "map_set",         "map_remove",     "set_add",
                                      "set_remove",   "sequence_insert", "sequence_delete"};

}  // namespace

void InternedOp::assign_path(const CrdtPath& wire, ReplicaTable& replicas) {
  wire_path = &wire;
  path.clear();
  for (const CrdtPathSegment& seg : wire) {
    InternedStep step{seg.kind, &seg.key, {}};
    if (seg.kind == CrdtPathSegment::Kind::Element) step.id = replicas.intern(seg.id);
    path.push_back(step);
  }
}

void InternedOp::assign(const CrdtOp& op, ReplicaTable& replicas) {
  kind = op.kind();
  dot = replicas.intern(op.dot());
  assign_path(op.path(), replicas);
  key = nullptr;
  value = nullptr;
  values = nullptr;
  after = {};
  ids.clear();
  removed.clear();
  std::visit(
      [&](const auto& o) {
        if constexpr (requires { o.key; }) key = &o.key;
        if constexpr (requires { o.value; }) value = &o.value;
        if constexpr (requires { o.values; }) values = &o.values;
        if constexpr (requires { o.after; }) {
          if (o.after) after = replicas.intern(*o.after);
        }
        if constexpr (requires { o.ids; }) {
          for (const ElementId& id : o.ids) ids.push_back(replicas.intern(id));
        }
        if constexpr (requires { o.removed; }) {
          for (const Dot& d : o.removed) removed.push_back(replicas.intern(d));
        }
      },
      op.op);
}

void write_interned_op(const InternedOp& op, const ReplicaTable& replicas, std::string& out) {
  out.append("{\"kind\":\"");
  out.append(kTags[static_cast<std::size_t>(op.kind)]);
  out.append("\",\"dot\":");
  replicas.write(op.dot, out);
  out.append(",\"path\":");
  write_crdt_path(*op.wire_path, out);
  if (op.key != nullptr) {
    out.append(",\"key\":");
    json::append_str(*op.key, out);
  }
  if (op.value != nullptr) {
    out.append(",\"value\":");
    write_value_json(*op.value, out);
  }
  if (op.kind == CrdtOp::Kind::MapRemove || op.kind == CrdtOp::Kind::SetRemove) {
    out.append(",\"removed\":[");
    for (std::size_t i = 0; i < op.removed.size(); ++i) {
      if (i != 0) out.push_back(',');
      replicas.write(op.removed[i], out);
    }
    out.push_back(']');
  }
  if (op.kind == CrdtOp::Kind::SequenceInsert) {
    out.append(",\"after\":");
    if (op.after.none()) {
      out.append("null");
    } else {
      replicas.write(op.after, out);
    }
    out.append(",\"values\":[");
    for (std::size_t i = 0; i < op.values->size(); ++i) {
      if (i != 0) out.push_back(',');
      write_value_json((*op.values)[i], out);
    }
    out.push_back(']');
  }
  if (op.kind == CrdtOp::Kind::SequenceDelete) {
    out.append(",\"ids\":[");
    for (std::size_t i = 0; i < op.ids.size(); ++i) {
      if (i != 0) out.push_back(',');
      replicas.write(op.ids[i], out);
    }
    out.push_back(']');
  }
  out.push_back('}');
}

}  // namespace ww::crdt::reducer
