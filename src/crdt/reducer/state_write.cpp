#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/state_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

// ,"name":[dot,...] unless the set is empty.
void write_dot_set_member(std::string_view name, const DotSet& dots, std::string& out) {
  if (dots.empty()) return;
  out.append(",\"");
  out.append(name);
  out.append("\":[");
  bool first = true;
  for (const Dot& d : dots) {
    if (!first) out.push_back(',');
    first = false;
    write_dot(d, out);
  }
  out.push_back(']');
}

template <class Entries, class WriteEntry>
void write_entry_object(const Entries& entries, WriteEntry write_entry, std::string& out) {
  out.append(",\"entries\":{");
  bool first = true;
  for (const auto& [key, entry] : entries) {
    if (!first) out.push_back(',');
    first = false;
    json::append_str(key, out);
    out.push_back(':');
    write_entry(entry, out);
  }
  out.push_back('}');
}

void write_sequence_lists(const SequenceState& seq, std::string& out) {
  out.append(",\"entries\":[");
  bool first = true;
  for (const auto& [id, entry] : seq.entries) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('[');
    write_element_id(id, out);
    out.push_back(',');
    write_sequence_entry(entry, out);
    out.push_back(']');
  }
  out.append("],\"deletes\":[");
  first = true;
  for (const auto& [id, dots] : seq.deletes) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('[');
    write_element_id(id, out);
    out.append(",[");
    bool first_dot = true;
    for (const Dot& d : dots) {
      if (!first_dot) out.push_back(',');
      first_dot = false;
      write_dot(d, out);
    }
    out.append("]]");
  }
  out.push_back(']');
}

}  // namespace

void write_node_state(const NodeState& node, std::string& out) {
  out.append("{\"kind\":");
  json::append_str(policy_kind_name(node.kind()), out);
  switch (node.kind()) {
    case NodeState::Kind::Register: {
      const RegisterState& reg = *node.register_();
      out.append(",\"value\":");
      if (reg.value) {
        write_value_json(*reg.value, out);
      } else {
        out.append("null");
      }
      out.append(",\"dot\":");
      if (reg.dot) {
        write_dot(*reg.dot, out);
      } else {
        out.append("null");
      }
      break;
    }
    case NodeState::Kind::Map: write_entry_object(node.map()->entries, write_map_entry, out); break;
    case NodeState::Kind::Set: write_entry_object(node.set()->entries, write_set_entry, out); break;
    case NodeState::Kind::Sequence: write_sequence_lists(*node.sequence(), out); break;
  }
  out.push_back('}');
}

void write_map_entry(const MapEntryState& entry, std::string& out) {
  out.append("{\"node\":");
  write_node_state(entry.node, out);
  write_dot_set_member("dots", entry.dots, out);
  write_dot_set_member("removed", entry.removed, out);
  write_dot_set_member("removal_ops", entry.removal_ops, out);
  out.push_back('}');
}

void write_set_entry(const SetEntryState& entry, std::string& out) {
  out.append("{\"node\":");
  write_node_state(entry.node, out);
  write_dot_set_member("adds", entry.adds, out);
  write_dot_set_member("removed", entry.removed, out);
  write_dot_set_member("removal_ops", entry.removal_ops, out);
  out.push_back('}');
}

void write_sequence_entry(const SequenceEntryState& entry, std::string& out) {
  out.append("{\"after\":");
  if (entry.after) {
    write_element_id(*entry.after, out);
  } else {
    out.append("null");
  }
  out.append(",\"node\":");
  if (entry.node) {
    write_node_state(*entry.node, out);
  } else {
    out.append("null");
  }
  out.append(entry.inserted ? ",\"inserted\":true}" : ",\"inserted\":false}");
}

void write_crdt_state(const CrdtState& state, std::string& out) {
  out.append("{\"state_version\":");
  json::append_u64(state.state_version, out);
  out.append(",\"spec_hash\":");
  json::append_str(state.spec_hash, out);
  out.append(",\"context\":");
  write_causal_context(state.context, out);
  if (!state.fingerprints.empty()) {
    out.append(",\"fingerprints\":[");
    bool first = true;
    for (const auto& [dot, fingerprint] : state.fingerprints) {
      if (!first) out.push_back(',');
      first = false;
      out.push_back('[');
      write_dot(dot, out);
      out.push_back(',');
      json::append_str(fingerprint, out);
      out.push_back(']');
    }
    out.push_back(']');
  }
  out.append(",\"root\":");
  write_node_state(state.root, out);
  out.push_back('}');
}

std::string crdt_state_to_json(const CrdtState& state) {
  std::string out;
  write_crdt_state(state, out);
  return out;
}

}  // namespace ww::crdt::reducer
