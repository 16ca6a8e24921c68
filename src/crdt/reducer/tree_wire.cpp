#include "crdt/reducer/tree_wire.h"

#include <cstring>
#include <utility>

#include "crdt/crdt_spec.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {
namespace {

// Wire sets are ascending, and interning keeps the order of dots.
InternedDotSet dots_from_wire(const DotSet& wire, ReplicaTable& replicas) {
  InternedDotSet out;
  for (const Dot& d : wire) out.push_back(replicas.intern(d));
  return out;
}

DotSet dots_to_wire(const InternedDotSet& dots, const ReplicaTable& replicas) {
  DotSet out;
  dots.for_each([&](const InternedDot& d) { out.emplace_hint(out.end(), replicas.wire(d)); });
  return out;
}

template <class WireEntry>
void entries_from_wire(std::map<std::string, WireEntry, std::less<>>&& wire, EntryTable& table,
                       ReplicaTable& replicas) {
  for (auto& [key, w] : wire) {
    Entry& e = table.push_back(key, node_from_wire(std::move(w.node), replicas));
    if constexpr (requires { w.dots; }) {
      e.dots = dots_from_wire(w.dots, replicas);
    } else {
      e.dots = dots_from_wire(w.adds, replicas);
    }
    e.removed = dots_from_wire(w.removed, replicas);
    e.removal_ops = dots_from_wire(w.removal_ops, replicas);
  }
}

void sequence_from_wire(SequenceState&& wire, SequenceNode& seq, ReplicaTable& replicas) {
  for (auto& [id, w] : wire.entries) {
    Element e;
    e.id = replicas.intern(id);
    if (w.after) e.after = replicas.intern(*w.after);
    if (w.node) e.node = node_from_wire(std::move(*w.node), replicas);
    e.inserted = w.inserted;
    seq.push_back(std::move(e));
  }
  for (auto& [id, dots] : wire.deletes) {
    const InternedElementId interned = replicas.intern(id);
    seq.deletes.push_back(DeleteRecord{interned, dots_from_wire(dots, replicas)});
    const std::uint32_t h = seq.find(interned, replicas);
    if (h != kNoHandle) seq.elements[h].deleted = true;
  }
  seq.order.rebuild(seq, replicas);
}

void write_dots(const InternedDotSet& dots, const ReplicaTable& replicas, std::string& out) {
  out.push_back('[');
  bool first = true;
  dots.for_each([&](const InternedDot& d) {
    if (!first) out.push_back(',');
    first = false;
    replicas.write(d, out);
  });
  out.push_back(']');
}

// ,"name":[dot,...] unless the set is empty.
void write_dots_member(std::string_view name, const InternedDotSet& dots, const ReplicaTable& replicas,
                       std::string& out) {
  if (dots.empty()) return;
  out.append(",\"");
  out.append(name);
  out.append("\":");
  write_dots(dots, replicas, out);
}

// The common element, a register holding a short text with short replica
// names around it, written into a buffer on the stack and appended at once;
// false (nothing written) for any other.
bool put_element(const Element& e, bool first, const ReplicaTable& replicas, std::string& out) {
  const Node& n = e.node;
  if (!n.is(Node::Kind::Register) || !replicas.short_name(e.id.replica) ||
      (!e.after.none() && !replicas.short_name(e.after.replica)) ||
      (!n.dot().none() && !replicas.short_name(n.dot().replica))) {
    return false;
  }
  char buf[3 * ReplicaTable::kMaxPut + StoredValue::kMaxPut + 96];
  char* p = buf;
  auto text = [&](std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    p += s.size();
  };
  if (!first) *p++ = ',';
  *p++ = '[';
  p = replicas.put(e.id, p);
  text(",{\"after\":");
  p = e.after.none() ? (text("null"), p) : replicas.put(e.after, p);
  text(",\"node\":{\"kind\":\"register\",\"value\":");
  if (!n.value().present()) {
    text("null");
  } else if (char* end = n.value().put_inline_str(p)) {
    p = end;
  } else {
    return false;
  }
  text(",\"dot\":");
  p = n.dot().none() ? (text("null"), p) : replicas.put(n.dot(), p);
  text(e.inserted ? "},\"inserted\":true}]" : "},\"inserted\":false}]");
  out.append(buf, static_cast<std::size_t>(p - buf));
  return true;
}

}  // namespace

Node node_from_wire(NodeState&& wire, ReplicaTable& replicas) {
  Node node = Node::empty(wire.kind());
  switch (wire.kind()) {
    case NodeState::Kind::Register: {
      RegisterState& reg = *wire.register_();
      if (reg.value) node.value() = StoredValue(*reg.value);
      if (reg.dot) node.set_dot(replicas.intern(*reg.dot));
      break;
    }
    case NodeState::Kind::Map: entries_from_wire(std::move(wire.map()->entries), *node.map(), replicas); break;
    case NodeState::Kind::Set: entries_from_wire(std::move(wire.set()->entries), *node.set(), replicas); break;
    case NodeState::Kind::Sequence: sequence_from_wire(std::move(*wire.sequence()), *node.sequence(), replicas); break;
  }
  return node;
}

NodeState node_to_wire(const Node& node, const ReplicaTable& replicas) {
  switch (node.kind()) {
    case Node::Kind::Register: {
      RegisterState reg;
      if (node.value().present()) reg.value = node.value().get();
      if (!node.dot().none()) reg.dot = replicas.wire(node.dot());
      return reg;
    }
    case Node::Kind::Map: {
      MapState map;
      node.map()->for_each([&](const Entry& e) {
        map.entries.emplace_hint(map.entries.end(), e.key,
                                 MapEntryState{node_to_wire(e.node, replicas), dots_to_wire(e.dots, replicas),
                                               dots_to_wire(e.removed, replicas),
                                               dots_to_wire(e.removal_ops, replicas)});
      });
      return map;
    }
    case Node::Kind::Set: {
      SetState set;
      node.set()->for_each([&](const Entry& e) {
        set.entries.emplace_hint(set.entries.end(), e.key,
                                 SetEntryState{node_to_wire(e.node, replicas), dots_to_wire(e.dots, replicas),
                                               dots_to_wire(e.removed, replicas),
                                               dots_to_wire(e.removal_ops, replicas)});
      });
      return set;
    }
    case Node::Kind::Sequence: break;
  }
  const SequenceNode& seq = *node.sequence();
  SequenceState out;
  for (const IdHandle& ih : seq.ids) {
    const Element& e = seq.elements[ih.handle];
    SequenceEntryState w;
    if (!e.after.none()) w.after = replicas.wire(e.after);
    if (e.node.present()) w.node = node_to_wire(e.node, replicas);
    w.inserted = e.inserted;
    out.entries.emplace_hint(out.entries.end(), replicas.wire(e.id), std::move(w));
  }
  for (const DeleteRecord& d : seq.deletes) {
    out.deletes.emplace_hint(out.deletes.end(), replicas.wire(d.id), dots_to_wire(d.dots, replicas));
  }
  return out;
}

CausalContext context_to_wire(const OpLog& log, const ReplicaTable& replicas) {
  CausalContext out;
  out.compacted = log.compacted;
  for (const OpLog::Record& r : log.records()) out.dots.emplace_hint(out.dots.end(), replicas.wire(r.dot()));
  return out;
}

FingerprintTable fingerprints_to_wire(const OpLog& log, const ReplicaTable& replicas) {
  FingerprintTable out;
  for (const OpLog::Record& r : log.records()) {
    out.emplace_hint(out.end(), replicas.wire(r.dot()), log.fingerprint_text(r));
  }
  return out;
}

void write_node(const Node& node, const ReplicaTable& replicas, std::string& out) {
  switch (node.kind()) {
    case Node::Kind::Register:
      out.append("{\"kind\":\"register\",\"value\":");
      if (node.value().present()) {
        node.value().write_json(out);
      } else {
        out.append("null");
      }
      out.append(",\"dot\":");
      if (node.dot().none()) {
        out.append("null");
      } else {
        replicas.write(node.dot(), out);
      }
      out.push_back('}');
      return;
    case Node::Kind::Map:
    case Node::Kind::Set: {
      const bool is_map = node.is(Node::Kind::Map);
      out.append(is_map ? "{\"kind\":\"map\",\"entries\":{" : "{\"kind\":\"set\",\"entries\":{");
      bool first = true;
      node.entries()->for_each([&](const Entry& e) {
        if (!first) out.push_back(',');
        first = false;
        json::append_str(e.key, out);
        out.append(":{\"node\":");
        write_node(e.node, replicas, out);
        write_dots_member(is_map ? "dots" : "adds", e.dots, replicas, out);
        write_dots_member("removed", e.removed, replicas, out);
        write_dots_member("removal_ops", e.removal_ops, replicas, out);
        out.push_back('}');
      });
      out.append("}}");
      return;
    }
    case Node::Kind::Sequence: break;
  }
  const SequenceNode& seq = *node.sequence();
  out.append("{\"kind\":\"sequence\",\"entries\":[");
  bool first = true;
  for (const IdHandle& ih : seq.ids) {
    const Element& e = seq.elements[ih.handle];
    if (put_element(e, first, replicas, out)) {
      first = false;
      continue;
    }
    if (!first) out.push_back(',');
    first = false;
    out.push_back('[');
    replicas.write(e.id, out);
    out.append(",{\"after\":");
    if (e.after.none()) {
      out.append("null");
    } else {
      replicas.write(e.after, out);
    }
    out.append(",\"node\":");
    if (e.node.present()) {
      write_node(e.node, replicas, out);
    } else {
      out.append("null");
    }
    out.append(e.inserted ? ",\"inserted\":true}]" : ",\"inserted\":false}]");
  }
  out.append("],\"deletes\":[");
  first = true;
  for (const DeleteRecord& d : seq.deletes) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('[');
    replicas.write(d.id, out);
    out.push_back(',');
    write_dots(d.dots, replicas, out);
    out.push_back(']');
  }
  out.append("]}");
}

}  // namespace ww::crdt::reducer
