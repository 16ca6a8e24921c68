#include "message/message.h"

#include <array>

#include "diff/patch_json.h"
#include "diff/patch_read.h"
#include "format/cbor/cbor_json.h"
#include "format/debug_text.h"
#include "format/json/json_value_read.h"
#include "format/msgpack/msgpack_json.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"
#include "message/message_binary.h"
#include "value/value_json.h"

namespace ww {
namespace {

constexpr std::array<std::string_view, 8> kTags = {"snapshot", "crdt_snapshot", "patch", "crdt",
                                                   "ack",      "reject",        "awareness", "batch"};

// ---- member readers: each over one parsed member value ----

Result<std::uint64_t> read_id(const JsonValue& v) {
  json::ValueDe de(v);
  return rec::read_u64(de);
}

Result<std::string> read_text(const JsonValue& v) {
  json::ValueDe de(v);
  return rec::read_string(de);
}

Result<std::optional<std::string>> read_opt_text(const JsonValue& v) {
  if (v.is_null()) return std::optional<std::string>();
  WW_TRY_ASSIGN(std::string s, read_text(v));
  return std::optional<std::string>(std::move(s));
}

Result<std::vector<JsonValue>> read_list(const JsonValue& v) {
  if (!v.is(JsonValue::Kind::Array)) return rec::invalid_type(rec::Family::Json, json::unexpected_of(v), "a sequence");
  return v.as_array();
}

Result<Patch> read_message_patch(const JsonValue& v) {
  json::ValueDe de(v);
  return read_patch(de);
}

std::optional<JsonValue> opt_json(const JsonValue& v) {
  if (v.is_null()) return std::nullopt;
  return v;
}

// Visits the members of `obj` other than "t" in key order; `read(i, value)`
// reads the member named names[i]; then the first required member missing
// in declaration order fails.
template <std::size_t N, class F>
Status read_members(const JsonValue& obj, const std::array<std::string_view, N>& names,
                    const std::array<bool, N>& required, F&& read) {
  std::array<bool, N> present{};
  for (const auto& [key, value] : obj.as_object()) {
    for (std::size_t i = 0; i < N; ++i) {
      if (names[i] == key) {
        WW_TRY(read(i, value));
        present[i] = true;
        break;
      }
    }
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (required[i] && !present[i]) return rec::missing_field(names[i]);
  }
  return {};
}

// Assigns the result of a member reader, or returns its error.
#define WW_MEMBER(lhs, expr)          \
  do {                                \
    auto&& ww_m_ = (expr);            \
    if (!ww_m_.ok()) return ww_m_.take_error(); \
    lhs = ww_m_.take();               \
  } while (0)

Result<Message> read_known(std::size_t kind, const JsonValue& v) {
  switch (kind) {
    case 0: {
      msg::Snapshot m;
      static constexpr std::array<std::string_view, 4> names = {"id", "type", "rev", "value"};
      WW_TRY(read_members(v, names, {true, true, true, true}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.type, read_text(x)); break;
          case 2: WW_MEMBER(m.rev, read_id(x)); break;
          default: WW_MEMBER(m.value, value_from_json_value(x)); break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    case 1: {
      msg::CrdtSnapshot m;
      static constexpr std::array<std::string_view, 6> names = {"id", "type", "rev", "value", "spec", "state"};
      WW_TRY(read_members(v, names, {true, true, true, true, true, true},
                          [&](std::size_t i, const JsonValue& x) -> Status {
                            switch (i) {
                              case 0: WW_MEMBER(m.id, read_id(x)); break;
                              case 1: WW_MEMBER(m.type, read_text(x)); break;
                              case 2: WW_MEMBER(m.rev, read_id(x)); break;
                              case 3: WW_MEMBER(m.value, value_from_json_value(x)); break;
                              case 4: m.spec = x; break;
                              default: m.state = x; break;
                            }
                            return {};
                          }));
      return Message(std::move(m));
    }
    case 2: {
      msg::PatchMsg m;
      static constexpr std::array<std::string_view, 3> names = {"id", "patch", "proposal"};
      WW_TRY(read_members(v, names, {true, true, false}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.patch, read_message_patch(x)); break;
          default: WW_MEMBER(m.proposal, read_opt_text(x)); break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    case 3: {
      msg::Crdt m;
      static constexpr std::array<std::string_view, 5> names = {"id", "rev", "ops", "effect", "proposal"};
      WW_TRY(read_members(v, names, {true, true, true, false, false}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.rev, read_id(x)); break;
          case 2: WW_MEMBER(m.ops, read_list(x)); break;
          case 3: m.effect = opt_json(x); break;
          default: WW_MEMBER(m.proposal, read_opt_text(x)); break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    case 4: {
      msg::Ack m;
      static constexpr std::array<std::string_view, 3> names = {"id", "rev", "proposal"};
      WW_TRY(read_members(v, names, {true, true, true}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.rev, read_id(x)); break;
          default: WW_MEMBER(m.proposal, read_text(x)); break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    case 5: {
      msg::Reject m;
      static constexpr std::array<std::string_view, 5> names = {"id", "rev", "error", "proposal", "crdt_ops"};
      WW_TRY(read_members(v, names, {true, true, true, false, false}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.rev, read_id(x)); break;
          case 2: WW_MEMBER(m.error, read_text(x)); break;
          case 3: WW_MEMBER(m.proposal, read_opt_text(x)); break;
          default:
            if (x.is_null()) {
              m.crdt_ops.reset();
            } else {
              WW_MEMBER(m.crdt_ops, read_list(x));
            }
            break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    case 6: {
      msg::Awareness m;
      static constexpr std::array<std::string_view, 3> names = {"id", "peer", "state"};
      WW_TRY(read_members(v, names, {true, false, false}, [&](std::size_t i, const JsonValue& x) -> Status {
        switch (i) {
          case 0: WW_MEMBER(m.id, read_id(x)); break;
          case 1: WW_MEMBER(m.peer, read_opt_text(x)); break;
          default: m.state = opt_json(x); break;
        }
        return {};
      }));
      return Message(std::move(m));
    }
    default: {
      msg::Batch m;
      static constexpr std::array<std::string_view, 1> names = {"msgs"};
      WW_TRY(read_members(v, names, {true}, [&](std::size_t, const JsonValue& x) -> Status {
        WW_TRY_ASSIGN(const std::vector<JsonValue>* items, [&]() -> Result<const std::vector<JsonValue>*> {
          if (!x.is(JsonValue::Kind::Array)) {
            return rec::invalid_type(rec::Family::Json, json::unexpected_of(x), "a sequence");
          }
          return &x.as_array();
        }());
        m.msgs.reserve(items->size());
        for (const JsonValue& item : *items) {
          WW_TRY_ASSIGN(Message inner, Message::classify(item));
          m.msgs.push_back(std::move(inner));
        }
        return {};
      }));
      return Message(std::move(m));
    }
  }
}

#undef WW_MEMBER

// ---- writing ----

void key(std::string& out, const char* name) {
  out.push_back(',');
  out.push_back('"');
  out.append(name);
  out.append("\":");
}

void write_u64_member(std::string& out, const char* name, std::uint64_t v) {
  key(out, name);
  json::append_u64(v, out);
}

void write_text_member(std::string& out, const char* name, const std::string& v) {
  key(out, name);
  json::append_str(v, out);
}

void write_opt_text_member(std::string& out, const char* name, const std::optional<std::string>& v) {
  if (v) write_text_member(out, name, *v);
}

void write_list(std::string& out, const std::vector<JsonValue>& items) {
  out.push_back('[');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out.push_back(',');
    write_json(items[i], out);
  }
  out.push_back(']');
}

struct Writer {
  std::string& out;
  void open(const char* tag) {
    out.append("{\"t\":\"");
    out.append(tag);
    out.push_back('"');
  }
  void operator()(const msg::Snapshot& m) {
    open("snapshot");
    write_u64_member(out, "id", m.id);
    write_text_member(out, "type", m.type);
    write_u64_member(out, "rev", m.rev);
    key(out, "value");
    write_value_json(m.value, out);
    out.push_back('}');
  }
  void operator()(const msg::CrdtSnapshot& m) {
    open("crdt_snapshot");
    write_u64_member(out, "id", m.id);
    write_text_member(out, "type", m.type);
    write_u64_member(out, "rev", m.rev);
    key(out, "value");
    write_value_json(m.value, out);
    key(out, "spec");
    write_json(m.spec, out);
    key(out, "state");
    write_json(m.state, out);
    out.push_back('}');
  }
  void operator()(const msg::PatchMsg& m) {
    open("patch");
    write_u64_member(out, "id", m.id);
    key(out, "patch");
    write_patch_json(m.patch, out);
    write_opt_text_member(out, "proposal", m.proposal);
    out.push_back('}');
  }
  void operator()(const msg::Crdt& m) {
    open("crdt");
    write_u64_member(out, "id", m.id);
    write_u64_member(out, "rev", m.rev);
    key(out, "ops");
    write_list(out, m.ops);
    if (m.effect) {
      key(out, "effect");
      write_json(*m.effect, out);
    }
    write_opt_text_member(out, "proposal", m.proposal);
    out.push_back('}');
  }
  void operator()(const msg::Ack& m) {
    open("ack");
    write_u64_member(out, "id", m.id);
    write_u64_member(out, "rev", m.rev);
    write_text_member(out, "proposal", m.proposal);
    out.push_back('}');
  }
  void operator()(const msg::Reject& m) {
    open("reject");
    write_u64_member(out, "id", m.id);
    write_u64_member(out, "rev", m.rev);
    write_text_member(out, "error", m.error);
    write_opt_text_member(out, "proposal", m.proposal);
    if (m.crdt_ops) {
      key(out, "crdt_ops");
      write_list(out, *m.crdt_ops);
    }
    out.push_back('}');
  }
  void operator()(const msg::Awareness& m) {
    open("awareness");
    write_u64_member(out, "id", m.id);
    write_opt_text_member(out, "peer", m.peer);
    key(out, "state");
    if (m.state) {
      write_json(*m.state, out);
    } else {
      out.append("null");
    }
    out.push_back('}');
  }
  void operator()(const msg::Batch& m) {
    open("batch");
    key(out, "msgs");
    out.push_back('[');
    for (std::size_t i = 0; i < m.msgs.size(); ++i) {
      if (i) out.push_back(',');
      m.msgs[i].write_json(out);
    }
    out.append("]}");
  }
  void operator()(const msg::Unknown& m) { ww::write_json(m.value, out); }
};

}  // namespace

Result<Message> Message::classify(const JsonValue& v) {
  if (v.is(JsonValue::Kind::Object)) {
    const JsonValue* t = v.find("t");
    if (t && t->is(JsonValue::Kind::Str)) {
      for (std::size_t i = 0; i < kTags.size(); ++i) {
        if (kTags[i] == t->as_str()) return read_known(i, v);
      }
    }
  }
  return Message(msg::Unknown{v});
}

Result<Message> Message::from_json(std::string_view text) {
  json::TextDe de(text, false);
  WW_TRY_ASSIGN(JsonValue v, json::read_json_value(de));
  WW_TRY_ASSIGN(Message m, classify(v));
  WW_TRY(de.end());
  return m;
}

void Message::write_json(std::string& out) const { std::visit(Writer{out}, v); }

std::string Message::to_json() const {
  std::string out;
  write_json(out);
  return out;
}


std::string Message::encode(CodecKind kind) const {
  std::string out;
  switch (kind) {
    case CodecKind::Json: write_json(out); break;
    case CodecKind::MessagePack: write_message_msgpack(*this, out); break;
    case CodecKind::Cbor: write_message_cbor(*this, out); break;
  }
  return out;
}

Result<Message> Message::decode(std::string_view bytes, CodecKind kind) {
  switch (kind) {
    case CodecKind::Json: {
      json::TextDe de(bytes, true);
      WW_TRY_ASSIGN(JsonValue v, json::read_json_value(de));
      WW_TRY_ASSIGN(Message m, classify(v));
      WW_TRY(de.end());
      return m;
    }
    case CodecKind::MessagePack: {
      WW_TRY_ASSIGN(JsonValue v, msgpack::read_json_value(bytes));
      return classify(v);
    }
    case CodecKind::Cbor: break;
  }
  WW_TRY_ASSIGN(JsonValue v, cbor::read_json_value(bytes));
  auto m = classify(v);
  if (!m.ok()) {
    // A shape error reads as the CBOR reader reports one made by its target.
    std::string wrapped = "Semantic(None, ";
    append_debug_str(m.error().text(), wrapped);
    wrapped.push_back(')');
    return Error::format(std::move(wrapped));
  }
  return m;
}

}  // namespace ww
