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

// Reads forward through the text; every reader consumes exactly the bytes
// the writer makes for what it reads, or returns false.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  const char* at() const { return p_; }
  bool done() const { return p_ == end_; }

  bool lit(std::string_view s) {
    if (static_cast<std::size_t>(end_ - p_) < s.size() || std::memcmp(p_, s.data(), s.size()) != 0) return false;
    p_ += s.size();
    return true;
  }

  // A string as the writer writes it: raw bytes, with \" and \\ the only
  // escapes taken (control characters, written as other escapes, are refused).
  bool str(std::string& out) {
    if (!lit("\"")) return false;
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
    const bool negative = lit("-");
    std::uint64_t magnitude = 0;
    if (!u64(magnitude)) return false;
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
    if (!lit(",\"dot\":") || !dot(r.dot)) return false;
    if (!lit(",\"path\":") || !list(r.path, [&](CrdtPathSegment& s) { return segment(s); })) return false;
    if constexpr (requires { r.key; }) {
      if (!lit(",\"key\":") || !str(r.key)) return false;
    }
    if constexpr (requires { r.value; }) {
      if (!lit(",\"value\":") || !value(r.value)) return false;
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

  bool op(CrdtOp& out) {
    using V = decltype(CrdtOp::op);
    constexpr std::string_view kTags[] = {"{\"kind\":\"register_set\"",    "{\"kind\":\"map_set\"",
                                          "{\"kind\":\"map_remove\"",      "{\"kind\":\"set_add\"",
                                          "{\"kind\":\"set_remove\"",      "{\"kind\":\"sequence_insert\"",
                                          "{\"kind\":\"sequence_delete\""};
    static_assert(std::size(kTags) == std::variant_size_v<V>);
    std::size_t kind = 0;
    while (kind < std::size(kTags) && !lit(kTags[kind])) ++kind;
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      bool ok = false;
      ((kind == I ? (void)(ok = fields(out.op.template emplace<I>())) : void()), ...);
      return ok;
    }(std::make_index_sequence<std::variant_size_v<V>>{});
  }

 private:
  const char* p_;
  const char* end_;
};

}  // namespace

bool read_written_ops(std::string_view text, std::vector<CrdtOp>& ops, std::vector<std::string_view>& texts) {
  ops.clear();
  texts.clear();
  Scanner s(text);
  if (!s.lit("[")) return false;
  if (!s.lit("]")) {
    do {
      const char* start = s.at();
      if (!s.op(ops.emplace_back())) return false;
      texts.emplace_back(start, static_cast<std::size_t>(s.at() - start));
    } while (s.lit(","));
    if (!s.lit("]")) return false;
  }
  return s.done();
}

}  // namespace ww::crdt::reducer
