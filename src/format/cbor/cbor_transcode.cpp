#include "format/cbor/cbor_transcode.h"

#include "format/cbor/cbor_de.h"
#include "format/cbor/cbor_writer.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/msgpack/member_order.h"

namespace ww::cbor {
namespace {

using msgpack::MemberOrder;

// A key, copied to the member stack as it is read. The first key of an
// object is classified from a borrowed text (as json::FirstKeyVisitor
// reads it); later keys are owned strings, which also take UTF-8 bytes (as
// rec::StringVisitor does).
template <bool First>
struct KeyVisitor : rec::Visitor<KeyVisitor<First>, bool> {
  static constexpr bool kBorrowsStr = First;
  MemberOrder* order = nullptr;
  std::size_t start = 0;
  std::string expecting() const { return First ? "a string key" : "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) {
    order->add(v, start);
    return true;
  }
  Result<bool> visit_bytes(rec::Ctx c, std::string_view v) {
    if (First) return this->refuse(c, rec::Unexpected::of(rec::Unexpected::Kind::Bytes));
    if (!is_valid_utf8(v)) return this->refuse_value(c, rec::Unexpected::of(rec::Unexpected::Kind::Bytes));
    order->add(v, start);
    return true;
  }
};

template <class KD>
Status read_key(KD& kd, bool first, MemberOrder& order, std::size_t start) {
  Result<bool> r = first ? kd.str(KeyVisitor<true>{{}, &order, start}) : kd.str(KeyVisitor<false>{{}, &order, start});
  if (!r.ok()) return r.take_error();
  return {};
}

// Writes CBOR for what the JSON text reader finds.
struct CborWriter : rec::Visitor<CborWriter, bool> {
  std::string* out;
  MemberOrder* order;

  std::string expecting() const { return "any valid JSON value"; }
  Result<bool> visit_unit(rec::Ctx) { put_null(*out); return true; }
  Result<bool> visit_bool(rec::Ctx, bool v) { put_bool(*out, v); return true; }
  Result<bool> visit_i64(rec::Ctx, std::int64_t v) { put_int(*out, v); return true; }
  Result<bool> visit_u64(rec::Ctx, std::uint64_t v) { put_uint(*out, v); return true; }
  Result<bool> visit_f64(rec::Ctx, double v) {
    if (v - v != 0) {
      put_null(*out);  // as a JsonValue holds it; the JSON reader makes none
    } else {
      put_f64(*out, v);
    }
    return true;
  }
  Result<bool> visit_str(rec::Ctx, std::string_view v) { put_text(*out, v); return true; }

  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    const std::size_t head = out->size();
    out->push_back(0);
    std::uint64_t n = 0;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      if (!more) break;
      ++n;
    }
    fix_head(head, Major::Array, n);
    return true;
  }

  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    const std::size_t head = out->size();
    out->push_back(0);
    const MemberOrder::Frame frame = order->open();
    bool first = true;
    for (;;) {
      const std::size_t start = out->size();
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) { return read_key(kd, first, *order, start); }));
      if (!more) break;
      first = false;
      // The key goes out from the member stack: the reader's view of it may
      // not outlive the call.
      put_text(*out, order->last_key());
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      order->end_member(out->size());
    }
    fix_head(head, Major::Map, order->close(frame, *out, head + 1, {}));
    return true;
  }

  // The one byte kept for the head becomes the shortest head for `n`; only
  // containers of 24 or more move their bytes to make room.
  void fix_head(std::size_t at, Major major, std::uint64_t n) {
    if (n < 24) {
      (*out)[at] = static_cast<char>((static_cast<unsigned>(major) << 5) | n);
      return;
    }
    std::string head;
    put_head(head, major, n);
    out->replace(at, 1, head);
  }
};

// Writes compact JSON text for what the CBOR reader finds.
struct JsonWriter : rec::Visitor<JsonWriter, bool> {
  std::string* out;
  MemberOrder* order;

  std::string expecting() const { return "any valid JSON value"; }
  Result<bool> visit_unit(rec::Ctx) { out->append("null"); return true; }
  Result<bool> visit_none(rec::Ctx) { out->append("null"); return true; }
  template <class D>
  Result<bool> visit_some(rec::Ctx, D& de) { return de.any(*this); }
  Result<bool> visit_bool(rec::Ctx, bool v) { out->append(v ? "true" : "false"); return true; }
  Result<bool> visit_i64(rec::Ctx, std::int64_t v) { json::append_i64(v, *out); return true; }
  Result<bool> visit_u64(rec::Ctx, std::uint64_t v) { json::append_u64(v, *out); return true; }
  Result<bool> visit_wide(rec::Ctx, const rec::WideInt& v) {
    if (v.hi == 0 && !v.negative) {
      json::append_u64(v.lo, *out);
      return true;
    }
    if (v.hi == 0 && v.lo <= static_cast<std::uint64_t>(INT64_MAX)) {
      json::append_i64(-1 - static_cast<std::int64_t>(v.lo), *out);
      return true;
    }
    return rec::custom("JSON number out of range");
  }
  Result<bool> visit_f64(rec::Ctx, double v) { json::append_f64(v, *out); return true; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) { json::append_str(v, *out); return true; }

  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    out->push_back('[');
    bool first = true;
    for (;;) {
      if (!first) out->push_back(',');
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      if (!more) {
        if (!first) out->pop_back();
        break;
      }
      first = false;
    }
    out->push_back(']');
    return true;
  }

  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    out->push_back('{');
    const std::size_t content = out->size();
    const MemberOrder::Frame frame = order->open();
    bool first = true;
    for (;;) {
      if (!first) out->push_back(',');
      const std::size_t start = out->size();
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) { return read_key(kd, first, *order, start); }));
      if (!more) {
        if (!first) out->pop_back();
        break;
      }
      first = false;
      json::append_str(order->last_key(), *out);
      out->push_back(':');
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      order->end_member(out->size());
    }
    order->close(frame, *out, content, ",");
    out->push_back('}');
    return true;
  }
};

}  // namespace

Result<std::string> from_json_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  MemberOrder order;
  WW_TRY(json::read_whole(text, false, [&](json::TextDe& de) { return de.any(CborWriter{{}, &out, &order}); }));
  return out;
}

Result<std::string> to_json_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  MemberOrder order;
  WW_TRY(read_item(bytes, [&](De& de) { return de.any(JsonWriter{{}, &out, &order}); }));
  return out;
}

}  // namespace ww::cbor
