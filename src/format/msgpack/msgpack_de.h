// The MessagePack reader: a deserializer (see format/record/visitor.h) over
// the input bytes. It reads one item from the start and leaves whatever
// follows it alone.
//
// What each entry point accepts:
// - boolean, u64, i64 and f64 judge the item by its marker alone: nil,
//   booleans, integers and floats go to the visitor, any other marker
//   fails with "wrong msgpack marker" without its item being read;
// - integers of any width are handed over as they were written (the fixint
//   and uN forms as unsigned, the negative fixint and iN forms as signed);
//   the visitor decides whether the value fits;
// - float 32 is widened to a double;
// - a str whose bytes are not UTF-8 is offered to the visitor as bytes, and
//   fails with the UTF-8 fault if the visitor refuses them;
// - where a list or a record is expected (seq, struct_ and the fields of a
//   variant) a bin item reads as the list of its bytes;
// - an enum is a map of one entry (name or index, then the payload) or the
//   bare identifier of a kind without payload;
// - arrays, maps and ext items nest at most kDepthLimit - 1 deep.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "format/binary/depth.h"
#include "format/binary/number_de.h"
#include "format/debug_text.h"
#include "format/msgpack/msgpack_errors.h"
#include "format/msgpack/msgpack_marker.h"
#include "format/record/unit_variant.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::msgpack {

inline constexpr int kDepthLimit = 1024;

class De;

// The elements of an array.
class SeqAccess {
 public:
  SeqAccess(De& de, std::uint32_t len) : de_(&de), left_(len) {}
  std::size_t size_hint() const { return left_; }
  std::uint32_t left() const { return left_; }
  template <class F>
  [[gnu::noinline]] Result<bool> next(F&& f);

 private:
  De* de_;
  std::uint32_t left_;
};

// The entries of a map: keys are whole items, read with the deserializer.
class MapAccess {
 public:
  MapAccess(De& de, std::uint32_t len) : de_(&de), left_(len) {}
  std::size_t size_hint() const { return left_; }
  std::uint32_t left() const { return left_; }
  template <class F>
  Result<bool> next_key(F&& f);
  template <class F>
  [[gnu::noinline]] Status next_value(F&& f);

 private:
  De* de_;
  std::uint32_t left_;
};

// {name: payload}: the one-entry map header has been read.
class VariantAccess {
 public:
  explicit VariantAccess(De& de) : de_(&de) {}
  template <class F>
  Result<VariantAccess> variant(F&& f) {
    WW_TRY(f(*de_));
    return *this;
  }
  Status unit_variant();
  template <class F>
  [[gnu::noinline]] Status newtype(F&& f) { return f(*de_); }
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&& v);
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names, V&& v);

 private:
  De* de_;
};

class De {
 public:
  static constexpr rec::Family family = rec::Family::Binary;

  explicit De(std::string_view input)
      : p_(reinterpret_cast<const unsigned char*>(input.data())), end_(p_ + input.size()) {}

  // ---- entry points ----
  template <class V> Result<rec::OutOf<V>> any(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return number(v); }
  template <class V> Result<rec::OutOf<V>> str(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> map(V&& v) { return any_inner(v, true); }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) { return any_inner(v, false); }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return any_inner(v, false); }
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> option(V&& v);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v);
  Status ignored_any();

  // The fields of a variant: like a record, positional or named.
  template <class V> Result<rec::OutOf<V>> tuple(V&& v) { return any_inner(v, false); }
  // A nil that must stand next, read straight from the bytes.
  Status read_nil();

 private:
  static rec::Ctx ctx() { return rec::Ctx{family}; }

  Result<std::uint8_t> take_marker() {
    if (peeked_ >= 0) {
      auto m = static_cast<std::uint8_t>(peeked_);
      peeked_ = -1;
      return m;
    }
    if (p_ == end_) return marker_eof();
    return *p_++;
  }

  template <int N>
  static std::uint64_t load_be(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < N; ++i) v = (v << 8) | p[i];
    return v;
  }
  // A big-endian quantity of N bytes.
  template <int N>
  Result<std::uint64_t> read_be() {
    if (end_ - p_ < N) return data_eof();
    const std::uint64_t v = load_be<N>(p_);
    p_ += N;
    return v;
  }
  // The number or length of the item that `k` opens, held by the marker
  // itself or read from the bytes after it; false when the input ends
  // first. Inlined, without a Result: fixints, fixstrs and the fix
  // containers then cost next to nothing.
  [[gnu::always_inline]] bool read_head(Marker k, std::uint64_t& n) {
    if (k.width == 0) {
      n = k.value;
      return true;
    }
    if (end_ - p_ < k.width) return false;
    switch (k.width) {
      case 1: n = load_be<1>(p_); break;
      case 2: n = load_be<2>(p_); break;
      case 4: n = load_be<4>(p_); break;
      default: n = load_be<8>(p_); break;
    }
    p_ += k.width;
    return true;
  }
  Result<std::string_view> read_payload(std::uint32_t len) {
    if (static_cast<std::size_t>(end_ - p_) < len) return payload_eof();
    std::string_view s(reinterpret_cast<const char*>(p_), len);
    p_ += len;
    return s;
  }

  using Level = binary::DepthBudget::Level;

  // A 1023-deep input must fit in the stack of any thread, sanitizer builds
  // included. So every step of the recursion (any_inner, visit_array /
  // visit_map, the element and payload callbacks of the access objects,
  // enum_) is its own small frame instead of being inlined into a large
  // one, and the scalar cases sit in a frame of their own.
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> any_inner(V& v, bool allow_bytes);
  template <class V> Result<rec::OutOf<V>> number(V& v);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_scalar(V& v, std::uint8_t m, bool allow_bytes);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_str_data(V& v, std::uint32_t len);
  template <class V> Result<rec::OutOf<V>> visit_bin_data(V& v, std::uint32_t len, bool allow_bytes);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_array(V& v, std::uint32_t len);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_map(V& v, std::uint32_t len);
  template <class V> Result<rec::OutOf<V>> visit_ext(V& v);
  Status skip_items(std::uint64_t count);
  Status skip_ext(std::uint32_t len);

  friend class VariantAccess;

  const unsigned char* p_;
  const unsigned char* end_;
  binary::DepthBudget depth_{kDepthLimit - 1};
  int peeked_ = -1;  // a marker read ahead by option() or enum_()
};

// Reads one item from the start of `bytes` with read(de); what follows the
// item is ignored. (The CBOR reader has the same entry, which also gives its
// errors their final form; MessagePack errors are final as they come.)
template <class F>
auto read_item(std::string_view bytes, F&& read) -> decltype(read(std::declval<De&>())) {
  De de(bytes);
  return read(de);
}

// ---- access objects ---------------------------------------------------------

template <class F>
Result<bool> SeqAccess::next(F&& f) {
  if (left_ == 0) return false;
  --left_;
  WW_TRY(f(*de_));
  return true;
}

template <class F>
Result<bool> MapAccess::next_key(F&& f) {
  if (left_ == 0) return false;
  --left_;
  WW_TRY(f(*de_));
  return true;
}

template <class F>
Status MapAccess::next_value(F&& f) {
  return f(*de_);
}

inline Status VariantAccess::unit_variant() { return de_->read_nil(); }

template <class V>
Result<rec::OutOf<V>> VariantAccess::tuple_variant(std::size_t, V&& v) {
  return de_->tuple(v);
}

template <class V>
Result<rec::OutOf<V>> VariantAccess::struct_variant(rec::Names, V&& v) {
  return de_->tuple(v);
}

// ---- De ----------------------------------------------------------------------

template <class V>
Result<rec::OutOf<V>> De::any_inner(V& v, bool allow_bytes) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  const Marker k = kMarkers[m];
  switch (k.kind) {
    case ItemKind::Array:
    case ItemKind::Map:
    case ItemKind::Str: break;
    default: return visit_scalar(v, m, allow_bytes);
  }
  std::uint64_t len;
  if (!read_head(k, len)) return data_eof();
  if (k.kind == ItemKind::Array) return visit_array(v, static_cast<std::uint32_t>(len));
  if (k.kind == ItemKind::Map) return visit_map(v, static_cast<std::uint32_t>(len));
  return visit_str_data(v, static_cast<std::uint32_t>(len));
}

// Where a boolean, an integer or a float is expected, the marker alone
// decides: nil, booleans, integers and floats are read and handed on; any
// other marker is refused before a byte of its item is read, so nothing
// inside that item (its length, its text, its nesting) can fail instead.
template <class V>
Result<rec::OutOf<V>> De::number(V& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (!kMarkers[m].is_number()) return wrong_marker(m);
  return visit_scalar(v, m, true);
}

// Every item but arrays, maps and texts.
template <class V>
Result<rec::OutOf<V>> De::visit_scalar(V& v, std::uint8_t m, bool allow_bytes) {
  const Marker k = kMarkers[m];
  std::uint64_t n;
  if (!read_head(k, n)) return data_eof();
  switch (k.kind) {
    case ItemKind::Nil: return v.visit_unit(ctx());
    case ItemKind::Reserved: return wrong_marker(m);
    case ItemKind::Bool: return v.visit_bool(ctx(), n != 0);
    case ItemKind::Uint: return v.visit_u64(ctx(), n);
    case ItemKind::Int: {
      // Two's complement of the width read (a fixint's own 8 bits).
      const int unused = 64 - 8 * (k.width == 0 ? 1 : k.width);
      return v.visit_i64(ctx(), static_cast<std::int64_t>(n << unused) >> unused);
    }
    case ItemKind::Float:
      if (k.width == 8) return v.visit_f64(ctx(), std::bit_cast<double>(n));
      return v.visit_f64(ctx(), static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(n))));
    case ItemKind::Bin: return visit_bin_data(v, static_cast<std::uint32_t>(n), allow_bytes);
    default: break;
  }
  // An ext item: its length has been read (a fixext holds its own), its
  // type and data are not.
  return visit_ext(v);
}

template <class V>
Result<rec::OutOf<V>> De::visit_str_data(V& v, std::uint32_t len) {
  WW_TRY_ASSIGN(std::string_view s, read_payload(len));
  const std::optional<Utf8Fault> fault = first_utf8_fault(s);
  if (!fault) return v.visit_str(ctx(), s);
  // Text that is not UTF-8 may still be taken as bytes.
  auto r = v.visit_bytes(ctx(), s);
  if (!r.ok()) return invalid_utf8(*fault);
  return r;
}

template <class V>
Result<rec::OutOf<V>> De::visit_bin_data(V& v, std::uint32_t len, bool allow_bytes) {
  WW_TRY_ASSIGN(std::string_view s, read_payload(len));
  if (allow_bytes) return v.visit_bytes(ctx(), s);
  binary::ByteSeq seq(s);
  return v.visit_seq(ctx(), seq);
}

template <class V>
Result<rec::OutOf<V>> De::visit_array(V& v, std::uint32_t len) {
  const Level level(depth_);
  if (!level) return depth_exceeded();
  SeqAccess seq(*this, len);
  WW_TRY_ASSIGN(auto out, v.visit_seq(ctx(), seq));
  if (seq.left() != 0) return length_mismatch(len - seq.left());
  return out;
}

template <class V>
Result<rec::OutOf<V>> De::visit_map(V& v, std::uint32_t len) {
  const Level level(depth_);
  if (!level) return depth_exceeded();
  MapAccess map(*this, len);
  WW_TRY_ASSIGN(auto out, v.visit_map(ctx(), map));
  if (map.left() != 0) return length_mismatch(len - map.left());
  return out;
}

// An ext item is offered as a newtype struct, which no visitor takes.
template <class V>
Result<rec::OutOf<V>> De::visit_ext(V& v) {
  const Level level(depth_);
  if (!level) return depth_exceeded();
  return v.refuse(ctx(), rec::Unexpected::of(rec::Unexpected::Kind::NewtypeStruct));
}

template <class V>
Result<rec::OutOf<V>> De::option(V&& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (kMarkers[m].kind == ItemKind::Nil) return v.visit_none(ctx());
  peeked_ = m;
  return v.visit_some(ctx(), *this);
}

template <class V>
Result<rec::OutOf<V>> De::enum_(std::string_view, rec::Names, V&& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  peeked_ = m;
  const Marker k = kMarkers[m];
  bool is_map = false;
  std::uint32_t len = 0;
  if (k.kind == ItemKind::Map) {
    // A map whose length cannot be read is left to the identifier reader,
    // which then fails on the same missing bytes.
    std::uint64_t n;
    if (read_head(k, n)) {
      is_map = true;
      len = static_cast<std::uint32_t>(n);
    }
  }
  if (is_map) {
    if (len != 1) return length_mismatch(len);
    peeked_ = -1;
    VariantAccess access(*this);
    return v.visit_enum(ctx(), access);
  }
  rec::UnitVariantAccess<De> access(*this);
  return v.visit_enum(ctx(), access);
}

}  // namespace ww::msgpack
