// The generic conversions between JSON text and either byte format in one
// pass, without building a JsonValue: the same bytes and the same errors as
// reading into a JsonValue and writing it out, with objects put in key
// order as they close (see member_order.h). Written once over the byte
// format's writer (msgpack::Writer, cbor::Writer) and reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/binary/member_order.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::binary {

// Internal linkage on purpose: each transcoder's file gets its own copy,
// which the compiler inlines as freely as code of that file alone (as it
// does not for a function that other files might share).
namespace {

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

// Reads the key of a member whose bytes start at `start` in the output.
template <class KD>
Status read_key(KD& kd, bool first, MemberOrder& order, std::size_t start) {
  Result<bool> r = first ? kd.str(KeyVisitor<true>{{}, &order, start}) : kd.str(KeyVisitor<false>{{}, &order, start});
  if (!r.ok()) return r.take_error();
  return {};
}

// Writes the byte format for what the JSON text reader finds.
template <class W>
struct BinaryOut : rec::Visitor<BinaryOut<W>, bool> {
  std::string* out;
  MemberOrder* order;

  std::string expecting() const { return "any valid JSON value"; }
  Result<bool> visit_unit(rec::Ctx) { W::put_null(*out); return true; }
  Result<bool> visit_bool(rec::Ctx, bool v) { W::put_bool(*out, v); return true; }
  Result<bool> visit_i64(rec::Ctx, std::int64_t v) { W::put_int(*out, v); return true; }
  Result<bool> visit_u64(rec::Ctx, std::uint64_t v) { W::put_uint(*out, v); return true; }
  Result<bool> visit_f64(rec::Ctx, double v) {
    if (v - v != 0) {
      W::put_null(*out);  // as a JsonValue holds it; the JSON reader makes none
    } else {
      W::put_f64(*out, v);
    }
    return true;
  }
  Result<bool> visit_str(rec::Ctx, std::string_view v) { W::put_str(*out, v); return true; }

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
    fix_header(header, W::kShortArray, n);
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
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) { return read_key(kd, first, *order, start); }));
      if (!more) break;
      first = false;
      // The key goes out from the member stack: the reader's view of it may
      // not outlive the call.
      W::put_str(*out, order->last_key());
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY(de.any(*this));
        return {};
      }));
      order->end_member(out->size());
    }
    fix_header(header, W::kShortMap, order->close(frame, *out, header + 1, {}));
    return true;
  }

  // The one byte kept for the header becomes the shortest header for `n`;
  // only containers of W::kShortCount or more move their bytes to make room.
  void fix_header(std::size_t at, std::uint8_t short_form, std::uint64_t n) {
    if (n < W::kShortCount) {
      (*out)[at] = static_cast<char>(short_form | n);
      return;
    }
    std::string head;
    if (short_form == W::kShortMap) {
      W::put_map_header(head, n);
    } else {
      W::put_array_header(head, n);
    }
    out->replace(at, 1, head);
  }
};

// Writes compact JSON text for what a byte-format reader finds.
struct JsonOut : rec::Visitor<JsonOut, bool> {
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
  // Only CBOR hands over integers this wide.
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


// A whole JSON text (only whitespace after the document) in the byte
// format that W writes.
template <class W>
Result<std::string> json_text_to_bytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  MemberOrder order;
  WW_TRY(json::read_whole(text, false,
                          [&](json::TextDe& de) { return de.any(BinaryOut<W>{{}, &out, &order}); }));
  return out;
}

// Compact JSON text for the item that `de` reads from `input_size` bytes.
template <class De>
Result<std::string> item_to_json_text(De& de, std::size_t input_size) {
  std::string out;
  out.reserve(input_size + input_size / 2);
  MemberOrder order;
  WW_TRY(de.any(JsonOut{{}, &out, &order}));
  return out;
}

}  // namespace
}  // namespace ww::binary
