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

#include "format/debug_text.h"
#include "format/msgpack/msgpack_errors.h"
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

// One byte of a bin item read as a list: an unsigned integer, whatever is
// asked for.
class ByteDe {
 public:
  static constexpr rec::Family family = rec::Family::Binary;
  explicit ByteDe(std::uint8_t b) : b_(b) {}
  template <class V> Result<rec::OutOf<V>> any(V&& v) { return v.visit_u64(rec::Ctx{family}, b_); }
  template <class V> Result<rec::OutOf<V>> boolean(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> u64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> i64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> f64(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> str(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> bytes(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> identifier(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> unit(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> option(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> seq(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> map(V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return any(v); }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v) { return any(v); }
  Status ignored_any() { return {}; }

 private:
  std::uint8_t b_;
};

// A bin item where a list is expected.
class ByteSeq {
 public:
  explicit ByteSeq(std::string_view bytes) : bytes_(bytes) {}
  std::size_t size_hint() const { return bytes_.size() - i_; }
  template <class F>
  Result<bool> next(F&& f) {
    if (i_ == bytes_.size()) return false;
    ByteDe de(static_cast<std::uint8_t>(bytes_[i_++]));
    WW_TRY(f(de));
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t i_ = 0;
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

// A bare identifier: a kind without payload.
class UnitVariantAccess {
 public:
  explicit UnitVariantAccess(De& de) : de_(&de) {}
  template <class F>
  Result<UnitVariantAccess> variant(F&& f) {
    WW_TRY(f(*de_));
    return *this;
  }
  Status unit_variant() { return {}; }
  template <class F>
  Status newtype(F&&) { return unit_refusal("newtype variant"); }
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&&) { return unit_refusal("tuple variant"); }
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names, V&&) { return unit_refusal("struct variant"); }

 private:
  static Error unit_refusal(std::string_view expected) {
    return rec::invalid_type(rec::Family::Binary, rec::Unexpected::of(rec::Unexpected::Kind::UnitVariant), expected);
  }
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

  // nil, false, true, every integer form, float 32 and float 64.
  static constexpr bool is_number_marker(std::uint8_t m) {
    if (m <= 0x7f || m >= 0xe0) return true;     // fixints
    if (m >= 0xca && m <= 0xd3) return true;     // F32, F64, U8-U64, I8-I64
    return m == 0xc0 || m == 0xc2 || m == 0xc3;  // nil, false, true
  }

  Result<std::uint8_t> take_marker() {
    if (peeked_ >= 0) {
      auto m = static_cast<std::uint8_t>(peeked_);
      peeked_ = -1;
      return m;
    }
    if (p_ == end_) return marker_eof();
    return *p_++;
  }

  // A big-endian quantity of N bytes.
  template <int N>
  Result<std::uint64_t> read_be() {
    if (end_ - p_ < N) return data_eof();
    std::uint64_t v = 0;
    for (int i = 0; i < N; ++i) v = (v << 8) | p_[i];
    p_ += N;
    return v;
  }
  // The 1-, 2- or 4-byte length that follows a marker.
  Result<std::uint32_t> read_len(int width) {
    Result<std::uint64_t> r = width == 1 ? read_be<1>() : width == 2 ? read_be<2>() : read_be<4>();
    if (!r) return r.take_error();
    return static_cast<std::uint32_t>(*r);
  }
  Result<std::string_view> read_payload(std::uint32_t len) {
    if (static_cast<std::size_t>(end_ - p_) < len) return payload_eof();
    std::string_view s(reinterpret_cast<const char*>(p_), len);
    p_ += len;
    return s;
  }

  Status enter() {
    if (--depth_ == 0) return depth_exceeded();
    return {};
  }
  void leave() { ++depth_; }

  // A 1023-deep input must fit in the stack of any thread, sanitizer builds
  // included. So every step of the recursion (any_inner, visit_array /
  // visit_map, the element and payload callbacks of the access objects,
  // enum_) is its own small frame instead of being inlined into a large
  // one, and the scalar cases sit in a frame of their own.
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> any_inner(V& v, bool allow_bytes);
  template <class V> Result<rec::OutOf<V>> number(V& v);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_scalar(V& v, std::uint8_t m, bool allow_bytes);
  template <class V> Result<rec::OutOf<V>> visit_str_data(V& v, std::uint32_t len);
  template <class V> Result<rec::OutOf<V>> visit_bin_data(V& v, std::uint32_t len, bool allow_bytes);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_array(V& v, std::uint32_t len);
  template <class V> [[gnu::noinline]] Result<rec::OutOf<V>> visit_map(V& v, std::uint32_t len);
  template <class V> Result<rec::OutOf<V>> visit_ext(V& v);
  Status skip_ext(std::uint32_t len);

  friend class VariantAccess;

  const unsigned char* p_;
  const unsigned char* end_;
  int depth_ = kDepthLimit;
  int peeked_ = -1;  // a marker read ahead by option() or enum_()
};

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
  if (m >= 0x80 && m <= 0x8f) return visit_map(v, m & 0x0fu);
  if (m >= 0x90 && m <= 0x9f) return visit_array(v, m & 0x0fu);
  switch (m) {
    case 0xdc: case 0xdd: {
      WW_TRY_ASSIGN(std::uint32_t len, read_len(m == 0xdc ? 2 : 4));
      return visit_array(v, len);
    }
    case 0xde: case 0xdf: {
      WW_TRY_ASSIGN(std::uint32_t len, read_len(m == 0xde ? 2 : 4));
      return visit_map(v, len);
    }
    default: return visit_scalar(v, m, allow_bytes);
  }
}

// Where a boolean, an integer or a float is expected, the marker alone
// decides: nil, booleans, integers and floats are read and handed on; any
// other marker is refused before a byte of its item is read, so nothing
// inside that item (its length, its text, its nesting) can fail instead.
template <class V>
Result<rec::OutOf<V>> De::number(V& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (!is_number_marker(m)) return wrong_marker(m);
  return visit_scalar(v, m, true);
}

template <class V>
Result<rec::OutOf<V>> De::visit_scalar(V& v, std::uint8_t m, bool allow_bytes) {
  if (m <= 0x7f) return v.visit_u64(ctx(), m);
  if (m >= 0xe0) return v.visit_i64(ctx(), static_cast<std::int8_t>(m));
  if (m >= 0xa0 && m <= 0xbf) return visit_str_data(v, m & 0x1fu);
  switch (m) {
    case 0xc0: return v.visit_unit(ctx());
    case 0xc1: return wrong_marker(m);
    case 0xc2: return v.visit_bool(ctx(), false);
    case 0xc3: return v.visit_bool(ctx(), true);
    case 0xc4: case 0xc5: case 0xc6: {
      WW_TRY_ASSIGN(std::uint32_t len, read_len(1 << (m - 0xc4)));
      return visit_bin_data(v, len, allow_bytes);
    }
    case 0xca: {
      WW_TRY_ASSIGN(std::uint64_t bits, read_be<4>());
      return v.visit_f64(ctx(), static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits))));
    }
    case 0xcb: {
      WW_TRY_ASSIGN(std::uint64_t bits, read_be<8>());
      return v.visit_f64(ctx(), std::bit_cast<double>(bits));
    }
    case 0xcc: { WW_TRY_ASSIGN(std::uint64_t x, read_be<1>()); return v.visit_u64(ctx(), x); }
    case 0xcd: { WW_TRY_ASSIGN(std::uint64_t x, read_be<2>()); return v.visit_u64(ctx(), x); }
    case 0xce: { WW_TRY_ASSIGN(std::uint64_t x, read_be<4>()); return v.visit_u64(ctx(), x); }
    case 0xcf: { WW_TRY_ASSIGN(std::uint64_t x, read_be<8>()); return v.visit_u64(ctx(), x); }
    case 0xd0: { WW_TRY_ASSIGN(std::uint64_t x, read_be<1>()); return v.visit_i64(ctx(), static_cast<std::int8_t>(x)); }
    case 0xd1: { WW_TRY_ASSIGN(std::uint64_t x, read_be<2>()); return v.visit_i64(ctx(), static_cast<std::int16_t>(x)); }
    case 0xd2: { WW_TRY_ASSIGN(std::uint64_t x, read_be<4>()); return v.visit_i64(ctx(), static_cast<std::int32_t>(x)); }
    case 0xd3: { WW_TRY_ASSIGN(std::uint64_t x, read_be<8>()); return v.visit_i64(ctx(), static_cast<std::int64_t>(x)); }
    case 0xd9: case 0xda: case 0xdb: {
      WW_TRY_ASSIGN(std::uint32_t len, read_len(1 << (m - 0xd9)));
      return visit_str_data(v, len);
    }
    default: break;
  }
  // 0xc7-0xc9 and 0xd4-0xd8: ext items.
  if (m <= 0xc9) {
    WW_TRY(read_len(1 << (m - 0xc7)));
  }
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
  ByteSeq seq(s);
  return v.visit_seq(ctx(), seq);
}

template <class V>
Result<rec::OutOf<V>> De::visit_array(V& v, std::uint32_t len) {
  WW_TRY(enter());
  SeqAccess seq(*this, len);
  WW_TRY_ASSIGN(auto out, v.visit_seq(ctx(), seq));
  leave();
  if (seq.left() != 0) return length_mismatch(len - seq.left());
  return out;
}

template <class V>
Result<rec::OutOf<V>> De::visit_map(V& v, std::uint32_t len) {
  WW_TRY(enter());
  MapAccess map(*this, len);
  WW_TRY_ASSIGN(auto out, v.visit_map(ctx(), map));
  leave();
  if (map.left() != 0) return length_mismatch(len - map.left());
  return out;
}

// An ext item is offered as a newtype struct, which no visitor takes.
template <class V>
Result<rec::OutOf<V>> De::visit_ext(V& v) {
  WW_TRY(enter());
  return v.refuse(ctx(), rec::Unexpected::of(rec::Unexpected::Kind::NewtypeStruct));
}

template <class V>
Result<rec::OutOf<V>> De::option(V&& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  if (m == 0xc0) return v.visit_none(ctx());
  peeked_ = m;
  return v.visit_some(ctx(), *this);
}

template <class V>
Result<rec::OutOf<V>> De::enum_(std::string_view, rec::Names, V&& v) {
  WW_TRY_ASSIGN(std::uint8_t m, take_marker());
  peeked_ = m;
  bool is_map = false;
  std::uint32_t len = 0;
  if (m >= 0x80 && m <= 0x8f) {
    is_map = true;
    len = m & 0x0fu;
  } else if (m == 0xde || m == 0xdf) {
    // A map whose length cannot be read is left to the identifier reader,
    // which then fails on the same missing bytes.
    Result<std::uint32_t> n = read_len(m == 0xde ? 2 : 4);
    if (n.ok()) {
      is_map = true;
      len = *n;
    }
  }
  if (is_map) {
    if (len != 1) return length_mismatch(len);
    peeked_ = -1;
    VariantAccess access(*this);
    return v.visit_enum(ctx(), access);
  }
  UnitVariantAccess access(*this);
  return v.visit_enum(ctx(), access);
}

}  // namespace ww::msgpack
