// The record-reading model shared by every format.
//
// A source (JSON text, buffered or parsed JSON, MessagePack, CBOR) is a
// "deserializer" that offers entry points stating what the caller expects
// (any, boolean, u64, i64, f64, str, bytes, unit, option, seq, map, struct_,
// enum_, identifier, ignored_any). Each entry point calls back one method
// of a visitor with what it actually found. A visitor only implements the
// shapes it accepts; every other shape falls through to the defaults below,
// which produce "invalid type: <found>, expected <expecting()>" rendered for
// the source's family. So each type's reader is written once, as a template
// over the deserializer.
//
// Access objects handed to visitors:
//   seq.next(f)            -> Result<bool>: f(De&) -> Status reads one element;
//                             false when the sequence has ended
//   seq.size_hint()        -> std::size_t (0 when unknown)
//   map.next_key(f)        -> Result<bool>: f(KeyDe&) -> Status reads a key
//   map.next_value(f)      -> Status: f(De&) -> Status reads its value
//   en.variant(f)          -> Result<VariantAccess>: f(IdDe&) -> Status reads the name
//   va.unit_variant()      -> Status
//   va.newtype(f)          -> Status: f(De&) -> Status reads the payload
//   va.struct_variant(fields, visitor) / va.tuple_variant(len, visitor)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "format/debug_text.h"
#include "format/record/errors.h"
#include "format/result.h"

namespace ww::rec {

// What a deserializer passes to every visitor call.
struct Ctx {
  Family family;
};

// An integer that arrived in a 128-bit form (CBOR bignums, CBOR negatives
// below -2^63): -1 - magnitude when `negative`, otherwise the magnitude.
struct WideInt {
  bool negative = false;
  std::uint64_t hi = 0;  // the 128-bit magnitude
  std::uint64_t lo = 0;
  // The value in decimal.
  std::string decimal() const {
    __extension__ typedef unsigned __int128 U128;
    U128 m = (static_cast<U128>(hi) << 64) | lo;
    if (negative) m += 1;  // the magnitude of -1 - m; a source keeps m below 2^127
    char buf[40];
    char* p = buf + sizeof buf;
    do {
      *--p = static_cast<char>('0' + static_cast<int>(m % 10));
      m /= 10;
    } while (m != 0);
    std::string s(negative ? "-" : "");
    s.append(p, buf + sizeof buf);
    return s;
  }
};

// A visitor declaring `static constexpr bool kBorrowsStr = true` asks for a
// text it only looks at during the call (like a borrowed string slice); a
// source with a bounded scratch buffer (CBOR) may refuse long texts there.
// Every other visitor gets texts of any length.
template <class V>
inline constexpr bool borrows_str = requires { requires std::remove_cvref_t<V>::kBorrowsStr; };

template <class V>
using OutOf = typename std::remove_cvref_t<V>::Out;

// Defaults for every visit method: refuse with "invalid type".
// Self provides `std::string expecting() const`.
template <class Self, class T>
struct Visitor {
  using Out = T;

  Result<T> visit_bool(Ctx c, bool v) { return refuse(c, Unexpected::boolean(v)); }
  Result<T> visit_i64(Ctx c, std::int64_t v) { return refuse(c, Unexpected::signed_(v)); }
  Result<T> visit_u64(Ctx c, std::uint64_t v) { return refuse(c, Unexpected::unsigned_(v)); }
  Result<T> visit_f64(Ctx c, double v) { return refuse(c, Unexpected::floating(v)); }
  Result<T> visit_str(Ctx c, std::string_view v) { return refuse(c, Unexpected::str(v)); }
  Result<T> visit_bytes(Ctx c, std::string_view) { return refuse(c, Unexpected::of(Unexpected::Kind::Bytes)); }
  Result<T> visit_unit(Ctx c) { return refuse(c, Unexpected::of(Unexpected::Kind::Unit)); }
  Result<T> visit_none(Ctx c) { return refuse(c, Unexpected::of(Unexpected::Kind::Option)); }
  template <class D>
  Result<T> visit_some(Ctx c, D&) { return refuse(c, Unexpected::of(Unexpected::Kind::Option)); }
  template <class S>
  Result<T> visit_seq(Ctx c, S&) { return refuse(c, Unexpected::of(Unexpected::Kind::Seq)); }
  template <class M>
  Result<T> visit_map(Ctx c, M&) { return refuse(c, Unexpected::of(Unexpected::Kind::Map)); }
  template <class E>
  Result<T> visit_enum(Ctx c, E&) { return refuse(c, Unexpected::of(Unexpected::Kind::Enum)); }
  // 128-bit integers are no target of ours: refused as "integer `<n>` as
  // i128" (or u128).
  Result<T> visit_wide(Ctx, const WideInt& v) {
    std::string msg = "invalid type: integer `" + v.decimal() + (v.negative ? "` as i128" : "` as u128");
    msg += ", expected ";
    msg += static_cast<const Self&>(*this).expecting();
    return custom(std::move(msg));
  }

  Error refuse(Ctx c, const Unexpected& u) const {
    return invalid_type(c.family, u, static_cast<const Self&>(*this).expecting());
  }
  Error refuse_value(Ctx c, const Unexpected& u) const {
    return invalid_value(c.family, u, static_cast<const Self&>(*this).expecting());
  }
};

// ---- Primitive readers ---------------------------------------------------

// An unsigned integer; `name` is what errors call the target ("u64", "usize").
struct U64Visitor : Visitor<U64Visitor, std::uint64_t> {
  std::string_view name;
  explicit U64Visitor(std::string_view n) : name(n) {}
  std::string expecting() const { return std::string(name); }
  Result<std::uint64_t> visit_u64(Ctx, std::uint64_t v) { return v; }
  Result<std::uint64_t> visit_i64(Ctx c, std::int64_t v) {
    if (v < 0) return refuse_value(c, Unexpected::signed_(v));
    return static_cast<std::uint64_t>(v);
  }
};

// An unsigned integer bounded by `max` ("u32", ...).
struct BoundedUVisitor : Visitor<BoundedUVisitor, std::uint64_t> {
  std::string_view name;
  std::uint64_t max;
  BoundedUVisitor(std::string_view n, std::uint64_t m) : name(n), max(m) {}
  std::string expecting() const { return std::string(name); }
  Result<std::uint64_t> visit_u64(Ctx c, std::uint64_t v) {
    if (v > max) return refuse_value(c, Unexpected::unsigned_(v));
    return v;
  }
  Result<std::uint64_t> visit_i64(Ctx c, std::int64_t v) {
    if (v < 0 || static_cast<std::uint64_t>(v) > max) return refuse_value(c, Unexpected::signed_(v));
    return static_cast<std::uint64_t>(v);
  }
};

struct I64Visitor : Visitor<I64Visitor, std::int64_t> {
  std::string expecting() const { return "i64"; }
  Result<std::int64_t> visit_i64(Ctx, std::int64_t v) { return v; }
  Result<std::int64_t> visit_u64(Ctx c, std::uint64_t v) {
    if (v > static_cast<std::uint64_t>(INT64_MAX)) return refuse_value(c, Unexpected::unsigned_(v));
    return static_cast<std::int64_t>(v);
  }
};

struct F64Visitor : Visitor<F64Visitor, double> {
  std::string expecting() const { return "f64"; }
  Result<double> visit_f64(Ctx, double v) { return v; }
  Result<double> visit_i64(Ctx, std::int64_t v) { return static_cast<double>(v); }
  Result<double> visit_u64(Ctx, std::uint64_t v) { return static_cast<double>(v); }
};

struct BoolVisitor : Visitor<BoolVisitor, bool> {
  std::string expecting() const { return "a boolean"; }
  Result<bool> visit_bool(Ctx, bool v) { return v; }
};

struct StringVisitor : Visitor<StringVisitor, std::string> {
  std::string expecting() const { return "a string"; }
  Result<std::string> visit_str(Ctx, std::string_view v) { return std::string(v); }
  Result<std::string> visit_bytes(Ctx c, std::string_view v) {
    if (!is_valid_utf8(v)) return refuse_value(c, Unexpected::of(Unexpected::Kind::Bytes));
    return std::string(v);
  }
};

struct UnitVisitor : Visitor<UnitVisitor, bool> {
  std::string expecting() const { return "unit"; }
  Result<bool> visit_unit(Ctx) { return true; }
};

template <class D>
Result<std::uint64_t> read_u64(D& de, std::string_view name = "u64") {
  return de.u64(U64Visitor(name));
}
template <class D>
Result<std::uint32_t> read_u32(D& de) {
  WW_TRY_ASSIGN(std::uint64_t v, de.u64(BoundedUVisitor("u32", UINT32_MAX)));
  return static_cast<std::uint32_t>(v);
}
template <class D>
Result<std::int64_t> read_i64(D& de) { return de.i64(I64Visitor{}); }
template <class D>
Result<double> read_f64(D& de) { return de.f64(F64Visitor{}); }
template <class D>
Result<bool> read_bool(D& de) { return de.boolean(BoolVisitor{}); }
template <class D>
Result<std::string> read_string(D& de) { return de.str(StringVisitor{}); }
template <class D>
Status read_unit(D& de) {
  auto r = de.unit(UnitVisitor{});
  if (!r) return r.take_error();
  return {};
}

// Identifies a name among `names` (a field or a variant), given as text,
// bytes or an index. The result is the name's position, or names.size() for
// a field name that names nothing when unknown fields are skipped.
struct NameVisitor : Visitor<NameVisitor, std::size_t> {
  enum class Unknown : std::uint8_t { FailVariant, FailField, Skip };
  Names names;
  std::string_view what;  // "variant identifier" or "field identifier"
  Unknown unknown;

  std::string expecting() const { return std::string(what); }
  Result<std::size_t> visit_str(Ctx, std::string_view v) const {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == v) return i;
    return unknown_name(v);
  }
  Result<std::size_t> visit_bytes(Ctx, std::string_view v) const {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == v) return i;
    if (unknown == Unknown::Skip) return names.size();
    return unknown_name(utf8_lossy(v));
  }
  Result<std::size_t> visit_u64(Ctx c, std::uint64_t v) const {
    if (v < names.size()) return static_cast<std::size_t>(v);
    if (unknown == Unknown::Skip) return names.size();
    std::string exp = unknown == Unknown::FailVariant ? "variant index 0 <= i < " : "field index 0 <= i < ";
    exp += std::to_string(names.size());
    return invalid_value(c.family, Unexpected::unsigned_(v), exp);
  }

 private:
  Result<std::size_t> unknown_name(std::string_view v) const {
    switch (unknown) {
      case Unknown::FailVariant: return unknown_variant(v, names);
      case Unknown::FailField: return unknown_field(v, names);
      case Unknown::Skip: break;
    }
    return names.size();
  }
};

inline NameVisitor variant_names(Names names) {
  return NameVisitor{{}, names, "variant identifier", NameVisitor::Unknown::FailVariant};
}
inline NameVisitor field_names(Names names, bool deny_unknown) {
  return NameVisitor{{}, names, "field identifier",
                     deny_unknown ? NameVisitor::Unknown::FailField : NameVisitor::Unknown::Skip};
}

}  // namespace ww::rec
