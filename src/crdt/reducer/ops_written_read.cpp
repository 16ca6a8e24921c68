#include "crdt/reducer/ops_written_read.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>
#include <variant>

#include "format/text_scan.h"

namespace ww::crdt::reducer {
namespace {

constexpr std::string_view kOpKinds[] = {"register_set", "map_set",         "map_remove",     "set_add",
                                         "set_remove",   "sequence_insert", "sequence_delete"};
constexpr std::string_view kMutationKinds[] = {"register_set", "map_set",         "map_remove",      "set_add",
                                               "set_remove",   "sequence_insert", "sequence_delete", "sequence_splice"};

// Reads forward through the text; every reader consumes exactly the bytes
// the writer makes for what it reads, or returns false. kSpaced: JSON
// whitespace may also stand between any two tokens.
template <bool kSpaced>
class Scanner {
 public:
  explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  const char* at() const { return p_; }
  bool done() {
    ws();
    return p_ == end_;
  }

  void ws() {
    if constexpr (kSpaced) {
      while (p_ != end_ && scan::is_json_space(static_cast<unsigned char>(*p_))) ++p_;
    }
  }

  // Tokens given as text without spaces; strings in it have no escapes.
  bool lit(std::string_view s) {
    if constexpr (kSpaced) {
      // Spaces go between tokens: not inside strings, nor inside a word
      // such as null or true.
      // A text that does not match is left unread, as without spaces.
      const char* start = p_;
      bool in_string = false;
      bool in_word = false;
      for (const char c : s) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!in_string && !(in_word && letter)) ws();
        if (p_ == end_ || *p_ != c) {
          p_ = start;
          return false;
        }
        ++p_;
        if (c == '"') in_string = !in_string;
        in_word = !in_string && letter;
      }
      return true;
    }
    if (static_cast<std::size_t>(end_ - p_) < s.size() || std::memcmp(p_, s.data(), s.size()) != 0) return false;
    p_ += s.size();
    return true;
  }

  // A string as the writer writes it: raw bytes, with \" and \\ the only
  // escapes taken (control characters, written as other escapes, are refused).
  bool str(std::string& out) {
    if (!lit("\"")) return false;  // (after any spaces)
    out.clear();
    for (;;) {
      const auto* u = reinterpret_cast<const unsigned char*>(p_);
      const std::size_t left = static_cast<std::size_t>(end_ - p_);
      const std::size_t run = scan::find_string_stop(u, left);
      if (run == left) return false;
      out.append(p_, run);
      p_ += run;
      if (*p_ == '"') {
        ++p_;
        return true;
      }
      if (*p_ != '\\' || left - run < 2 || (p_[1] != '"' && p_[1] != '\\')) return false;
      out.push_back(p_[1]);
      p_ += 2;
    }
  }

  // Digits as std::to_chars writes them: no sign, no leading zero.
  bool u64(std::uint64_t& out) {
    ws();
    return digits(out);
  }
  bool digits(std::uint64_t& out) {
    if (p_ == end_ || !scan::is_digit(static_cast<unsigned char>(*p_))) return false;
    if (*p_ == '0') {
      ++p_;
      out = 0;
      return p_ == end_ || !scan::is_digit(static_cast<unsigned char>(*p_));
    }
    std::uint64_t v = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    while (p_ != end_ && scan::is_digit(static_cast<unsigned char>(*p_))) {
      const std::uint64_t d = static_cast<std::uint64_t>(*p_ - '0');
      if (v > (kMax - d) / 10) return false;
      v = v * 10 + d;
      ++p_;
    }
    out = v;
    return true;
  }
  bool u32(std::uint32_t& out) {
    std::uint64_t v = 0;
    if (!u64(v) || v > std::numeric_limits<std::uint32_t>::max()) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
  }
  bool i64(std::int64_t& out) {
    ws();
    const bool negative = p_ != end_ && *p_ == '-';
    if (negative) ++p_;
    std::uint64_t magnitude = 0;
    if (!digits(magnitude)) return false;
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) {
      if (magnitude > kLimit) return false;
      out = static_cast<std::int64_t>(magnitude);
      return true;
    }
    if (magnitude == 0 || magnitude > kLimit + 1) return false;
    out = magnitude == kLimit + 1 ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(magnitude);
    return true;
  }

  // {"counter":5,"replica":"a"}
  bool dot(Dot& d) { return lit("{\"counter\":") && u64(d.counter) && lit(",\"replica\":") && str(d.replica) && lit("}"); }
  // {"dot":{...},"index":0}
  bool element_id(ElementId& id) { return lit("{\"dot\":") && dot(id.dot) && lit(",\"index\":") && u32(id.index) && lit("}"); }

  bool segment(CrdtPathSegment& seg) {
    if (lit("{\"kind\":\"key\",\"key\":")) {
      seg.kind = CrdtPathSegment::Kind::Key;
      return str(seg.key) && lit("}");
    }
    if (lit("{\"kind\":\"member\",\"key\":")) {
      seg.kind = CrdtPathSegment::Kind::Member;
      return str(seg.key) && lit("}");
    }
    seg.kind = CrdtPathSegment::Kind::Element;
    return lit("{\"kind\":\"element\",\"id\":") && element_id(seg.id) && lit("}");
  }

  bool value(Value& v) {
    if (lit("{\"Str\":")) {
      std::string s;
      if (!str(s) || !lit("}")) return false;
      v = Value::str(std::move(s));
      return true;
    }
    if (lit("{\"Int\":")) {
      std::int64_t i = 0;
      if (!i64(i) || !lit("}")) return false;
      v = Value::integer(i);
      return true;
    }
    if (lit("\"Null\"")) {
      v = Value::null();
      return true;
    }
    if (lit("{\"Bool\":true}")) {
      v = Value::boolean(true);
      return true;
    }
    if (lit("{\"Bool\":false}")) {
      v = Value::boolean(false);
      return true;
    }
    return false;
  }

  // [item,item,...]
  template <class T, class Read>
  bool list(std::vector<T>& out, Read read) {
    if (!lit("[")) return false;
    if (lit("]")) return true;
    do {
      if (!read(out.emplace_back())) return false;
    } while (lit(","));
    return lit("]");
  }

  // The fields of one operation, in the order and form of the writer.
  template <class R>
  bool fields(R& r) {
    if constexpr (requires { r.dot; }) {
      if (!lit(",\"dot\":") || !dot(r.dot)) return false;
    }
    if (!lit(",\"path\":") || !list(r.path, [&](CrdtPathSegment& s) { return segment(s); })) return false;
    if constexpr (requires { r.key; }) {
      if (!lit(",\"key\":") || !str(r.key)) return false;
    }
    if constexpr (requires { r.value; }) {
      if (!lit(",\"value\":") || !value(r.value)) return false;
    }
    if constexpr (requires { r.delete_count; }) {
      if (!lit(",\"index\":") || !u64(r.index) || !lit(",\"delete_count\":") || !u64(r.delete_count)) return false;
    }
    if constexpr (requires { r.removed; }) {
      if (!lit(",\"removed\":") || !list(r.removed, [&](Dot& d) { return dot(d); })) return false;
    }
    if constexpr (requires { r.after; }) {
      if (!lit(",\"after\":")) return false;
      if (!lit("null") && !element_id(r.after.emplace())) return false;
    }
    if constexpr (requires { r.values; }) {
      if (!lit(",\"values\":") || !list(r.values, [&](Value& v) { return value(v); })) return false;
    }
    if constexpr (requires { r.ids; }) {
      if (!lit(",\"ids\":") || !list(r.ids, [&](ElementId& id) { return element_id(id); })) return false;
    }
    return lit("}");
  }

  // {"kind":"<name>" and the fields of the variant alternative it names.
  template <class Variant, std::size_t N>
  bool tagged(Variant& out, const std::string_view (&kinds)[N]) {
    static_assert(N == std::variant_size_v<Variant>);
    if (!lit("{\"kind\":") || !str(name_)) return false;
    std::size_t kind = 0;
    while (kind < N && kinds[kind] != name_) ++kind;
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      bool ok = false;
      ((kind == I ? (void)(ok = fields(out.template emplace<I>())) : void()), ...);
      return ok;
    }(std::make_index_sequence<N>{});
  }

 private:
  const char* p_;
  const char* end_;
  std::string name_;
};

}  // namespace

bool read_written_ops(std::string_view text, std::vector<CrdtOp>& ops, std::vector<std::string_view>& texts) {
  ops.clear();
  texts.clear();
  Scanner<false> s(text);
  if (!s.lit("[")) return false;
  if (!s.lit("]")) {
    do {
      const char* start = s.at();
      if (!s.tagged(ops.emplace_back().op, kOpKinds)) return false;
      texts.emplace_back(start, static_cast<std::size_t>(s.at() - start));
    } while (s.lit(","));
    if (!s.lit("]")) return false;
  }
  return s.done();
}

bool read_plain_mutations(std::string_view text, std::vector<CrdtMutation>& mutations) {
  mutations.clear();
  Scanner<true> s(text);
  if (!s.lit("[")) return false;
  if (!s.lit("]")) {
    do {
      if (!s.tagged(mutations.emplace_back().mutation, kMutationKinds)) return false;
    } while (s.lit(","));
    if (!s.lit("]")) return false;
  }
  return s.done();
}

}  // namespace ww::crdt::reducer
