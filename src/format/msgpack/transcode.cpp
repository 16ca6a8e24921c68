#include "format/msgpack/transcode.h"

#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/msgpack/member_order.h"
#include "format/msgpack/msgpack_de.h"
#include "format/msgpack/msgpack_writer.h"

namespace ww::msgpack {
namespace {

// A key, copied to the member stack as it is read. The first key of an
// object must be text; later ones may also be UTF-8 bytes (as
// json::FirstKeyVisitor and rec::StringVisitor take them).
struct KeyVisitor : rec::Visitor<KeyVisitor, bool> {
  MemberOrder* order;
  std::size_t start;
  bool first;
  std::string expecting() const { return first ? "a string key" : "a string"; }
  Result<bool> visit_str(rec::Ctx, std::string_view v) {
    order->add(v, start);
    return true;
  }
  Result<bool> visit_bytes(rec::Ctx c, std::string_view v) {
    if (first) return refuse(c, rec::Unexpected::of(rec::Unexpected::Kind::Bytes));
    if (!is_valid_utf8(v)) return refuse_value(c, rec::Unexpected::of(rec::Unexpected::Kind::Bytes));
    order->add(v, start);
    return true;
  }
};

// Writes MessagePack for what a JSON text reader finds.
struct MsgpackWriter : rec::Visitor<MsgpackWriter, bool> {
  std::string* out;
  MemberOrder* order;

  std::string expecting() const { return "any valid JSON value"; }
  Result<bool> visit_unit(rec::Ctx) { put_nil(*out); return true; }
  Result<bool> visit_bool(rec::Ctx, bool v) { put_bool(*out, v); return true; }
  Result<bool> visit_i64(rec::Ctx, std::int64_t v) { put_int(*out, v); return true; }
  Result<bool> visit_u64(rec::Ctx, std::uint64_t v) { put_uint(*out, v); return true; }
  Result<bool> visit_f64(rec::Ctx, double v) {
    if (v - v != 0) {
      put_nil(*out);
    } else {
      put_f64(*out, v);
    }
    return true;
  }
  Result<bool> visit_str(rec::Ctx, std::string_view v) { put_str(*out, v); return true; }

  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    const std::size_t header = out->size();
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
    fix_header(header, false, n);
    return true;
  }

  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    const std::size_t header = out->size();
    out->push_back(0);
    const MemberOrder::Frame frame = order->open();
    bool first = true;
    for (;;) {
      const std::size_t start = out->size();
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY(kd.str(KeyVisitor{{}, order, start, first}));
        return {};
      }));
      if (!more) break;
      first = false;
      // The key goes out again from the member stack: the reader's view of
      // it may not outlive the call.
      std::string_view key = order->last_key();
      put_str(*out, key);
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      order->end_member(out->size());
    }
    const std::size_t n = order->close(frame, *out, header + 1, {});
    fix_header(header, true, n);
    return true;
  }

  // The one byte kept for the header becomes the shortest header for `n`;
  // only containers of 16 or more move their bytes to make room.
  void fix_header(std::size_t at, bool is_map, std::uint64_t n) {
    if (n < 16) {
      (*out)[at] = static_cast<char>((is_map ? 0x80 : 0x90) | n);
      return;
    }
    std::string head;
    if (is_map) {
      put_map_header(head, n);
    } else {
      put_array_header(head, n);
    }
    out->replace(at, 1, head);
  }
};

// Writes compact JSON text for what the MessagePack reader finds.
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
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY(kd.str(KeyVisitor{{}, order, start, first}));
        return {};
      }));
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
  WW_TRY(json::read_whole(text, false, [&](json::TextDe& de) { return de.any(MsgpackWriter{{}, &out, &order}); }));
  return out;
}

Result<std::string> to_json_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  MemberOrder order;
  De de(bytes);
  WW_TRY(de.any(JsonWriter{{}, &out, &order}));
  return out;
}

}  // namespace ww::msgpack
