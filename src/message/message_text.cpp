#include "message/message_text.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "diff/patch_read.h"
#include "format/json/json_value_read.h"
#include "format/json/text_de.h"
#include "format/record/fields.h"
#include "format/record/list.h"
#include "message/known_kinds.h"
#include "message/plain_json_text.h"
#include "message/plain_value_text.h"
#include "value/value_read.h"

namespace ww {
namespace {

using json::TextDe;

// Any error here only means "take the generic road": its text is never shown.
Error refused() { return rec::custom("not read directly"); }

bool is_space(unsigned char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// Looks ahead, without reading, at an object whose "{" is at `i`: the kind
// when its first member is "t" holding a known tag in plain text (no
// escapes), else kNone. The reader then checks everything again as it
// reads, so this only has to be right when it names a kind.
std::size_t peek_known_kind(std::string_view in, std::size_t i) {
  const std::size_t n = in.size();
  auto skip = [&] {
    while (i < n && is_space(static_cast<unsigned char>(in[i]))) ++i;
  };
  ++i;
  skip();
  if (in.substr(i, 3) != "\"t\"") return msg_kinds::kNone;
  i += 3;
  skip();
  if (i >= n || in[i] != ':') return msg_kinds::kNone;
  ++i;
  skip();
  if (i >= n || in[i] != '"') return msg_kinds::kNone;
  const std::size_t start = ++i;
  while (i < n && in[i] != '"' && in[i] != '\\' && static_cast<unsigned char>(in[i]) >= 0x20) ++i;
  if (i >= n || in[i] != '"') return msg_kinds::kNone;
  return msg_kinds::find_tag(in.substr(start, i - start));
}

// ---- a patch whose records have no unknown members ----
//
// Skipping a member in text checks neither nesting depth nor string content
// as reading it would, while the generic road reads everything; so a record
// with an unknown member is left to the generic road.

template <Op::Kind K, class VA>
Result<Op> read_op_fields_strict(VA& va) {
  constexpr const patch_read::KindFields& k = patch_read::kKinds[static_cast<std::size_t>(K)];
  static constexpr rec::RecordShape kShape = [] {
    rec::RecordShape s = patch_read::kKinds[static_cast<std::size_t>(K)].shape;
    s.deny_unknown = true;
    return s;
  }();
  patch_read::Slots slots;
  WW_TRY(rec::read_variant_fields(va, kShape, [&](std::size_t i, TextDe& d) -> Status {
    if (k.fields[i] != patch_read::Field::Value) return slots.read(d, k.fields[i]);
    if (!read_plain_value(d, slots.value.emplace())) return refused();
    return {};
  }));
  return slots.build(K);
}

Result<Op> read_op_strict(TextDe& de) {
  return rec::read_union<Op, kOpKindNames>(de, "Op", [](std::size_t kind, auto& va) -> Result<Op> {
    switch (static_cast<Op::Kind>(kind)) {
      case Op::Kind::Set: return read_op_fields_strict<Op::Kind::Set>(va);
      case Op::Kind::Remove: return read_op_fields_strict<Op::Kind::Remove>(va);
      case Op::Kind::Insert: return read_op_fields_strict<Op::Kind::Insert>(va);
      case Op::Kind::RemoveAt: return read_op_fields_strict<Op::Kind::RemoveAt>(va);
      case Op::Kind::Move: return read_op_fields_strict<Op::Kind::Move>(va);
      case Op::Kind::Reorder: break;
    }
    return read_op_fields_strict<Op::Kind::Reorder>(va);
  });
}

constexpr rec::RecordShape kPatchShapeStrict = [] {
  rec::RecordShape s = patch_read::kPatchShape;
  s.deny_unknown = true;
  return s;
}();

Result<Patch> read_patch_strict(TextDe& de) {
  Patch out;
  WW_TRY(rec::read_fields(
      de, kPatchShapeStrict,
      rec::fields([&](TextDe& d) { return rec::assign(out.rev, rec::read_u64(d, "u64")); },
                  [&](TextDe& d) { return rec::assign(out.ops, rec::read_list<Op>(d, [](TextDe& e) { return read_op_strict(e); })); })));
  return out;
}

// ---- members, as the generic road reads them from the parsed object ----

Result<Message> read_message(TextDe& de);

Status read_member(TextDe& de, std::uint64_t& out) { return rec::assign(out, rec::read_u64(de)); }
Status read_member(TextDe& de, std::string& out) { return rec::assign(out, rec::read_string(de)); }
Status read_member(TextDe& de, Value& out) {
  if (!read_plain_value(de, out)) return refused();
  return {};
}
Status read_member(TextDe& de, Patch& out) { return rec::assign(out, read_patch_strict(de)); }
// Free-form JSON: read as the generic road parses it (sorted keys).
Status read_member(TextDe& de, JsonValue& out) {
  if (!read_plain_json(de, out)) return refused();
  return {};
}
Status read_member(TextDe& de, std::vector<JsonValue>& out) {
  return rec::assign(out, rec::read_list<JsonValue>(de, [](TextDe& d) -> Result<JsonValue> {
    JsonValue v;
    if (!read_plain_json(d, v)) return refused();
    return v;
  }));
}
Status read_member(TextDe& de, std::vector<Message>& out) {
  return rec::assign(out, rec::read_list<Message>(de, [](TextDe& d) { return read_message(d); }));
}
// Null is absent.
template <class T>
Status read_member(TextDe& de, std::optional<T>& out) {
  if (de.parse_whitespace() == 'n') {
    de.eat_char();
    return de.parse_ident("ull");
  }
  return read_member(de, out.emplace());
}

// A key, looked at in place: the index of the member it names among
// `names`, names.size() for "t", or npos.
struct KeyIndex : rec::Visitor<KeyIndex, std::size_t> {
  static constexpr bool kBorrowsStr = true;
  rec::Names names;
  explicit KeyIndex(rec::Names n) : names(n) {}
  std::string expecting() const { return "a member name"; }
  Result<std::size_t> visit_str(rec::Ctx, std::string_view key) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == key) return i;
    }
    if (key == "t") return names.size();
    return std::size_t(-1);
  }
};

// The tag's text, already known from the look ahead: only read past.
struct SkipStr : rec::Visitor<SkipStr, bool> {
  static constexpr bool kBorrowsStr = true;
  std::string expecting() const { return "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view) { return true; }
};

// The object of kind M, "t" first: each member read once with its own
// reader; any other member, a repeat, or a missing required member refuses.
template <class M, const auto& kNames, auto... kMembers>
struct KindVisitor : rec::Visitor<KindVisitor<M, kNames, kMembers...>, M> {
  static constexpr std::uint64_t kRequired = msg_kinds::required_members<kMembers...>();
  std::string expecting() const { return "a message"; }

  template <class Map>
  Result<M> visit_map(rec::Ctx, Map& map) {
    M m;
    std::uint64_t present = 0;
    bool tag_read = false;
    for (;;) {
      std::size_t i = 0;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(i, kd.str(KeyIndex(kNames)));
        return {};
      }));
      if (!more) break;
      if (!tag_read) {
        if (i != kNames.size()) return refused();
        tag_read = true;
        WW_TRY(map.next_value([](TextDe& d) -> Status {
          auto r = d.str(SkipStr{});
          if (!r.ok()) return r.take_error();
          return {};
        }));
        continue;
      }
      if (i >= kNames.size() || (present >> i) & 1) return refused();
      WW_TRY(map.next_value([&](TextDe& d) { return read_one(d, i, std::index_sequence_for<decltype(kMembers)...>{}, m); }));
      present |= std::uint64_t{1} << i;
    }
    if ((kRequired & ~present) != 0) return refused();
    return m;
  }

  template <std::size_t... I>
  static Status read_one(TextDe& d, std::size_t i, std::index_sequence<I...>, M& m) {
    Status s;
    (void)((i == I ? (s = read_member(d, m.*kMembers), true) : false) || ...);
    return s;
  }
};

// The known message whose "{" is next, of kind k.
Result<Message> read_kind(TextDe& de, std::size_t k) {
  return msg_kinds::visit_kind(k, [&]<class M, const auto& kNames, auto... kMembers>() -> Result<Message> {
    WW_TRY_ASSIGN(M m, de.map(KindVisitor<M, kNames, kMembers...>{}));
    return Message(std::move(m));
  });
}

// One element of a batch: a known message read directly, anything else
// parsed and classified as the generic road does.
Result<Message> read_message(TextDe& de) {
  if (de.parse_whitespace() == '{') {
    const std::size_t k = peek_known_kind(de.input(), de.index());
    if (k != msg_kinds::kNone) return read_kind(de, k);
  }
  WW_TRY_ASSIGN(JsonValue v, json::read_json_value(de));
  return Message::classify(std::move(v));
}

}  // namespace

std::optional<Message> read_known_message_text(std::string_view text, bool validate_utf8) {
  TextDe de(text, validate_utf8);
  if (de.parse_whitespace() != '{') return std::nullopt;
  const std::size_t k = peek_known_kind(text, de.index());
  if (k == msg_kinds::kNone) return std::nullopt;
  Result<Message> m = read_kind(de, k);
  if (!m.ok() || !de.end().ok()) return std::nullopt;
  return m.take();
}

}  // namespace ww
