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
#include "format/record/fields.h"
#include "format/record/list.h"
#include "message/known_kinds.h"
#include "message/message_binary.h"
#include "message/message_text.h"
#include "value/value_json.h"

namespace ww {
namespace {

// ---- reading: each known kind is a record read from the parsed object ----
//
// Members are met in key order (the object is parsed, so its keys are
// sorted and unique), each read at once with its own errors; "t" and unknown
// members are skipped; then the first required member that is missing, in
// declaration order, fails. A member's C++ type says how it is read, and an
// optional member (std::optional) is not required and reads null as absent.

// `owned`: the parsed object is the caller's to take apart, so free-form
// members are moved out of it rather than copied.
Result<Message> classify_parsed(const JsonValue& v, bool owned);

JsonValue take(json::ValueDe& de, bool owned) {
  if (owned) return std::move(const_cast<JsonValue&>(de.value()));
  return de.value();
}

Status read_member(json::ValueDe& de, bool, std::uint64_t& out) { return rec::assign(out, rec::read_u64(de)); }
Status read_member(json::ValueDe& de, bool, std::string& out) { return rec::assign(out, rec::read_string(de)); }
Status read_member(json::ValueDe& de, bool, Value& out) { return rec::assign(out, read_value(de)); }
Status read_member(json::ValueDe& de, bool, Patch& out) { return rec::assign(out, read_patch(de)); }
// Free-form JSON, kept as it was parsed.
Status read_member(json::ValueDe& de, bool owned, JsonValue& out) {
  out = take(de, owned);
  return {};
}
Status read_member(json::ValueDe& de, bool owned, std::vector<JsonValue>& out) {
  return rec::assign(
      out, rec::read_list<JsonValue>(de, [owned](json::ValueDe& d) -> Result<JsonValue> { return take(d, owned); }));
}
Status read_member(json::ValueDe& de, bool owned, std::vector<Message>& out) {
  return rec::assign(
      out, rec::read_list<Message>(de, [owned](json::ValueDe& d) { return classify_parsed(d.value(), owned); }));
}
// Null is absent; a member is met once, so `out` is still empty then.
template <class T>
Status read_member(json::ValueDe& de, bool owned, std::optional<T>& out) {
  if (de.value().is_null()) return {};
  return read_member(de, owned, out.emplace());
}

// The record of kind M whose members, in declaration order, are kMembers
// named kNames.
template <class M, const auto& kNames, auto... kMembers>
Result<Message> read_kind(const JsonValue& object, bool owned) {
  static_assert(kNames.size() == sizeof...(kMembers));
  // No expecting text: a known message is always an object, never refused
  // as a whole nor short of elements.
  static constexpr rec::RecordShape kShape{.fields = kNames, .required = msg_kinds::required_members<kMembers...>()};
  M m;
  json::ValueDe de(object);
  WW_TRY(rec::read_fields(
      de, kShape, rec::fields([&m, owned](json::ValueDe& d) { return read_member(d, owned, m.*kMembers); }...)));
  return Message(std::move(m));
}

Result<Message> classify_parsed(const JsonValue& v, bool owned) {
  if (v.is(JsonValue::Kind::Object)) {
    const JsonValue* t = v.find("t");
    if (t && t->is(JsonValue::Kind::Str)) {
      const std::size_t k = msg_kinds::find_tag(t->as_str());
      if (k != msg_kinds::kNone) {
        return msg_kinds::visit_kind(k, [&]<class M, const auto& kNames, auto... kMembers>() {
          return read_kind<M, kNames, kMembers...>(v, owned);
        });
      }
    }
  }
  if (owned) return Message(msg::Unknown{std::move(const_cast<JsonValue&>(v))});
  return Message(msg::Unknown{v});
}

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

Result<Message> Message::classify(const JsonValue& v) { return classify_parsed(v, false); }

Result<Message> Message::classify(JsonValue&& v) { return classify_parsed(v, true); }

Result<Message> Message::from_json(std::string_view text) { return read_text(text, false); }

Result<Message> Message::read_text(std::string_view text, bool validate_utf8) {
  // A known message usually reads straight into its members; anything that
  // reader does not take goes the generic road, which alone words errors.
  if (std::optional<Message> known = read_known_message_text(text, validate_utf8)) return std::move(*known);
  json::TextDe de(text, validate_utf8);
  WW_TRY_ASSIGN(JsonValue v, json::read_json_value(de));
  WW_TRY_ASSIGN(Message m, classify(std::move(v)));
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
  encode(kind, out);
  return out;
}

void Message::encode(CodecKind kind, std::string& out) const {
  switch (kind) {
    case CodecKind::Json: write_json(out); break;
    case CodecKind::MessagePack: write_message_msgpack(*this, out); break;
    case CodecKind::Cbor: write_message_cbor(*this, out); break;
  }
}

Result<Message> Message::decode(std::string_view bytes, CodecKind kind) {
  switch (kind) {
    case CodecKind::Json: return read_text(bytes, true);
    case CodecKind::MessagePack: {
      WW_TRY_ASSIGN(JsonValue v, msgpack::read_json_value(bytes));
      return classify(std::move(v));
    }
    case CodecKind::Cbor: break;
  }
  WW_TRY_ASSIGN(JsonValue v, cbor::read_json_value(bytes));
  auto m = classify(std::move(v));
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
