#include <variant>

#include "crdt/reducer/ops_json.h"
#include "crdt/sha256_text.h"
#include "diff/patch_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

template <class T, class F>
void write_list(const std::vector<T>& items, F write_item, std::string& out) {
  out.push_back('[');
  bool first = true;
  for (const T& item : items) {
    if (!first) out.push_back(',');
    first = false;
    write_item(item, out);
  }
  out.push_back(']');
}

void write_sequence_delta_element(const SequenceDeltaElement& e, std::string& out) {
  out.append("{\"id\":");
  write_element_id(e.id, out);
  out.append(",\"value\":");
  write_value_json(e.value, out);
  out.push_back('}');
}

// The fields of an operation, mutation or delta record, each written when
// the record has it, in the order every record declares them.
template <class R>
void write_fields(const R& r, std::string& out) {
  if constexpr (requires { r.dot; }) {
    out.append(",\"dot\":");
    write_dot(r.dot, out);
  }
  out.append(",\"path\":");
  write_crdt_path(r.path, out);
  if constexpr (requires { r.key; }) {
    out.append(",\"key\":");
    json::append_str(r.key, out);
  }
  if constexpr (requires { r.value; }) {
    out.append(",\"value\":");
    write_value_json(r.value, out);
  }
  if constexpr (requires { r.removed; }) {
    out.append(",\"removed\":");
    write_list(r.removed, write_dot, out);
  }
  if constexpr (requires { r.after; }) {
    out.append(",\"after\":");
    if (r.after) {
      write_element_id(*r.after, out);
    } else {
      out.append("null");
    }
  }
  if constexpr (requires { r.values; }) {
    out.append(",\"values\":");
    write_list(r.values, write_value_json, out);
  }
  if constexpr (requires { r.elements; }) {
    out.append(",\"elements\":");
    write_list(r.elements, write_sequence_delta_element, out);
  }
  if constexpr (requires { r.ids; }) {
    out.append(",\"ids\":");
    write_list(r.ids, write_element_id, out);
  }
}

constexpr std::string_view kOpTags[] = {"register_set", "map_set",         "map_remove",     "set_add",
                                        "set_remove",   "sequence_insert", "sequence_delete"};

template <class Variant>
void write_tagged(const Variant& v, std::string& out) {
  out.append("{\"kind\":\"");
  out.append(kOpTags[v.index()]);
  out.push_back('"');
  std::visit([&](const auto& r) { write_fields(r, out); }, v);
  out.push_back('}');
}

}  // namespace

void write_path_segment(const CrdtPathSegment& seg, std::string& out) {
  switch (seg.kind) {
    case CrdtPathSegment::Kind::Key:
      out.append("{\"kind\":\"key\",\"key\":");
      json::append_str(seg.key, out);
      break;
    case CrdtPathSegment::Kind::Member:
      out.append("{\"kind\":\"member\",\"key\":");
      json::append_str(seg.key, out);
      break;
    case CrdtPathSegment::Kind::Element:
      out.append("{\"kind\":\"element\",\"id\":");
      write_element_id(seg.id, out);
      break;
  }
  out.push_back('}');
}

void write_crdt_path(const CrdtPath& path, std::string& out) { write_list(path, write_path_segment, out); }

void write_crdt_op(const CrdtOp& op, std::string& out) { write_tagged(op.op, out); }

std::string crdt_op_to_json(const CrdtOp& op) {
  std::string out;
  write_crdt_op(op, out);
  return out;
}

void write_crdt_delta(const CrdtDelta& delta, std::string& out) { write_tagged(delta.delta, out); }

void write_crdt_effect(const CrdtEffect& effect, std::string& out) {
  out.append("{\"patch\":");
  write_patch_json(effect.patch, out);
  out.append(",\"deltas\":");
  write_list(effect.deltas, write_crdt_delta, out);
  out.append(",\"applied\":");
  json::append_u64(effect.applied, out);
  out.push_back('}');
}

Result<std::string> op_fingerprint(const CrdtOp& op) {
  std::string text;
  text.reserve(128);
  write_crdt_op(op, text);
  return sha256_text(text);
}

const Dot& CrdtOp::dot() const {
  return std::visit([](const auto& r) -> const Dot& { return r.dot; }, op);
}

const CrdtPath& CrdtOp::path() const {
  return std::visit([](const auto& r) -> const CrdtPath& { return r.path; }, op);
}

}  // namespace ww::crdt::reducer
