#include "message/message_binary.h"

#include <string_view>

#include "diff/patch_write_binary.h"
#include "format/binary/json_value_write.h"
#include "format/cbor/cbor_writer.h"
#include "format/msgpack/msgpack_writer.h"
#include "message/message.h"
#include "value/value_write_binary.h"

namespace ww {
namespace {

// The pieces of a message in the format that W writes.
template <class W>
struct Sink {
  std::string& out;
  void map(std::size_t n) { W::put_map_header(out, n); }
  void array(std::size_t n) { W::put_array_header(out, n); }
  void str(std::string_view s) { W::put_str(out, s); }
  void u64(std::uint64_t v) { W::put_uint(out, v); }
  void null() { W::put_null(out); }
  void value(const Value& v) { write_value_binary<W>(v, out); }
  void json(const JsonValue& v) { binary::write_json_value<W>(v, out); }
  void path(const Path& p) { write_path_binary<W>(p, out); }
};

// The fields of each kind in ascending key order.
template <class S>
void op(S& s, const Op& o) {
  s.map(1);
  s.str(kOpKindNames[static_cast<std::size_t>(o.kind())]);
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Op::Set>) {
          s.map(2);
          s.str("path"), s.path(x.path);
          s.str("value"), s.value(x.value);
        } else if constexpr (std::is_same_v<T, Op::Remove>) {
          s.map(1);
          s.str("path"), s.path(x.path);
        } else if constexpr (std::is_same_v<T, Op::Insert>) {
          s.map(3);
          s.str("index"), s.u64(x.index);
          s.str("path"), s.path(x.path);
          s.str("value"), s.value(x.value);
        } else if constexpr (std::is_same_v<T, Op::RemoveAt>) {
          s.map(2);
          s.str("index"), s.u64(x.index);
          s.str("path"), s.path(x.path);
        } else if constexpr (std::is_same_v<T, Op::Move>) {
          s.map(3);
          s.str("from"), s.u64(x.from);
          s.str("path"), s.path(x.path);
          s.str("to"), s.u64(x.to);
        } else {
          s.map(2);
          s.str("order");
          s.array(x.order.size());
          for (std::uint64_t i : x.order) s.u64(i);
          s.str("path"), s.path(x.path);
        }
      },
      o.v);
}

template <class S>
void patch(S& s, const Patch& p) {
  s.map(2);
  s.str("ops");
  s.array(p.ops.size());
  for (const Op& o : p.ops) op(s, o);
  s.str("rev");
  s.u64(p.rev);
}

template <class S>
void list(S& s, const std::vector<JsonValue>& items) {
  s.array(items.size());
  for (const JsonValue& v : items) s.json(v);
}

template <class S>
struct Writer {
  S& s;
  void tag(const char* t) { s.str("t"), s.str(t); }
  void operator()(const msg::Snapshot& m) {
    s.map(5);
    s.str("id"), s.u64(m.id);
    s.str("rev"), s.u64(m.rev);
    tag("snapshot");
    s.str("type"), s.str(m.type);
    s.str("value"), s.value(m.value);
  }
  void operator()(const msg::CrdtSnapshot& m) {
    s.map(7);
    s.str("id"), s.u64(m.id);
    s.str("rev"), s.u64(m.rev);
    s.str("spec"), s.json(m.spec);
    s.str("state"), s.json(m.state);
    tag("crdt_snapshot");
    s.str("type"), s.str(m.type);
    s.str("value"), s.value(m.value);
  }
  void operator()(const msg::PatchMsg& m) {
    s.map(3 + (m.proposal ? 1 : 0));
    s.str("id"), s.u64(m.id);
    s.str("patch"), patch(s, m.patch);
    if (m.proposal) s.str("proposal"), s.str(*m.proposal);
    tag("patch");
  }
  void operator()(const msg::Crdt& m) {
    s.map(4 + (m.effect ? 1 : 0) + (m.proposal ? 1 : 0));
    if (m.effect) s.str("effect"), s.json(*m.effect);
    s.str("id"), s.u64(m.id);
    s.str("ops"), list(s, m.ops);
    if (m.proposal) s.str("proposal"), s.str(*m.proposal);
    s.str("rev"), s.u64(m.rev);
    tag("crdt");
  }
  void operator()(const msg::Ack& m) {
    s.map(4);
    s.str("id"), s.u64(m.id);
    s.str("proposal"), s.str(m.proposal);
    s.str("rev"), s.u64(m.rev);
    tag("ack");
  }
  void operator()(const msg::Reject& m) {
    s.map(4 + (m.crdt_ops ? 1 : 0) + (m.proposal ? 1 : 0));
    if (m.crdt_ops) s.str("crdt_ops"), list(s, *m.crdt_ops);
    s.str("error"), s.str(m.error);
    s.str("id"), s.u64(m.id);
    if (m.proposal) s.str("proposal"), s.str(*m.proposal);
    s.str("rev"), s.u64(m.rev);
    tag("reject");
  }
  void operator()(const msg::Awareness& m) {
    s.map(3 + (m.peer ? 1 : 0));
    s.str("id"), s.u64(m.id);
    if (m.peer) s.str("peer"), s.str(*m.peer);
    s.str("state");
    if (m.state) {
      s.json(*m.state);
    } else {
      s.null();
    }
    tag("awareness");
  }
  void operator()(const msg::Batch& m) {
    s.map(2);
    s.str("msgs");
    s.array(m.msgs.size());
    for (const Message& inner : m.msgs) std::visit(*this, inner.v);
    tag("batch");
  }
  void operator()(const msg::Unknown& m) { s.json(m.value); }
};

}  // namespace

void write_message_msgpack(const Message& m, std::string& out) {
  Sink<msgpack::Writer> s{out};
  std::visit(Writer<Sink<msgpack::Writer>>{s}, m.v);
}

void write_message_cbor(const Message& m, std::string& out) {
  Sink<cbor::Writer> s{out};
  std::visit(Writer<Sink<cbor::Writer>>{s}, m.v);
}

}  // namespace ww
