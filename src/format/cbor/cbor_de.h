// The CBOR reader: a deserializer (see format/record/visitor.h) over the
// input bytes. It reads one item from the start and leaves whatever follows
// it alone.
//
// What each entry point accepts (tags in front of an item are skipped by
// all but `any` and `option`):
// - u64, i64: unsigned and negative integers, and bignums (tag 2 or 3 over
//   a byte string), handed over in the target's type; a negative value
//   where u64 is asked for fails with "unexpected negative integer", any
//   other value that does not fit with "integer too large";
// - f64: floats only; boolean: false and true only, anything else fails
//   with "expected bool" at the item's offset;
// - str: a text string of any length; only one of at most kScratchSize
//   bytes for a visitor that borrows it (rec::borrows_str);
// - identifier: a text or byte string of at most kScratchSize bytes;
// - seq: an array, or a byte string taken as the list of its bytes;
//   map and struct_: a map (a record is never read from an array);
// - enum_: a map of one entry (the name, then the payload), or a text
//   string alone, naming a kind without payload;
// - any: whatever comes; a tag other than a bignum over at most 16 bytes
//   is offered to the visitor as an enum;
// - arrays, maps, enums and the tags met by `any` nest at most kDepthLimit
//   deep; the next level fails with RecursionLimitExceeded.
//
// Errors: Io, Syntax and the reader's own Semantic(Some(..)) checks come
// out final; record-shape errors are Error::custom until read_item turns
// them into Semantic(None, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "format/binary/depth.h"
#include "format/binary/number_de.h"
#include "format/cbor/cbor_decoder.h"
#include "format/cbor/cbor_errors.h"
#include "format/record/unit_variant.h"
#include "format/record/visitor.h"
#include "format/result.h"

namespace ww::cbor {

inline constexpr int kDepthLimit = 256;

class De;

// What is left of an array or a map: a count of items, or (indefinite
// length) the items up to a break.
class Remaining {
 public:
  explicit Remaining(const Header& h) : definite_(h.definite), left_(h.arg) {}
  std::size_t size_hint() const { return definite_ ? static_cast<std::size_t>(left_) : 0; }
  // Reads the next item with f(de), unless the array or map has ended: its
  // count is used up, or the break that ends it comes next (and is read).
  template <class F>
  Result<bool> next(De& de, F&& f);

 private:
  bool definite_;
  bool done_ = false;
  std::uint64_t left_;
};

// The elements of an array.
class SeqAccess {
 public:
  SeqAccess(De& de, const Header& h) : de_(&de), rest_(h) {}
  std::size_t size_hint() const { return rest_.size_hint(); }
  template <class F>
  Result<bool> next(F&& f) { return rest_.next(*de_, f); }

 private:
  De* de_;
  Remaining rest_;
};

// The entries of a map; keys are whole items read with the deserializer.
class MapAccess {
 public:
  MapAccess(De& de, const Header& h) : de_(&de), rest_(h) {}
  std::size_t size_hint() const { return rest_.size_hint(); }
  template <class F>
  Result<bool> next_key(F&& f) { return rest_.next(*de_, f); }
  template <class F>
  Status next_value(F&& f) { return f(*de_); }

 private:
  De* de_;
  Remaining rest_;
};

// {name: payload}: the head of the one-entry map has been read.
class VariantAccess {
 public:
  explicit VariantAccess(De& de) : de_(&de) {}
  template <class F>
  Result<VariantAccess> variant(F&& f) {
    WW_TRY(f(*de_));
    return *this;
  }
  Status unit_variant() { return rec::read_unit(*de_); }
  template <class F>
  Status newtype(F&& f) { return f(*de_); }
  // Fields come as whatever item follows: a map by name, an array by position.
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&& v);
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names, V&& v);

 private:
  De* de_;
};

// A tagged item met by `any`: the tag number names it, the item is its
// payload.
class TagAccess {
 public:
  TagAccess(De& de, std::uint64_t tag) : de_(&de), tag_(tag) {}
  template <class F>
  Result<TagAccess> variant(F&& f) {
    binary::NumberDe id(tag_);
    WW_TRY(f(id));
    return *this;
  }
  Status unit_variant() { return rec::custom("expected tag"); }
  template <class F>
  Status newtype(F&& f) { return f(*de_); }
  template <class V>
  Result<rec::OutOf<V>> tuple_variant(std::size_t, V&&) { return rec::custom("expected tag"); }
  template <class V>
  Result<rec::OutOf<V>> struct_variant(rec::Names, V&&) { return rec::custom("expected tag"); }

 private:
  De* de_;
  std::uint64_t tag_;
};

class De {
 public:
  static constexpr rec::Family family = rec::Family::Binary;

  explicit De(std::string_view input) : dec_(input) {}

  // ---- entry points ----
  template <class V> Result<rec::OutOf<V>> any(V&& v);
  template <class V> Result<rec::OutOf<V>> boolean(V&& v);
  template <class V> Result<rec::OutOf<V>> u64(V&& v);
  template <class V> Result<rec::OutOf<V>> i64(V&& v);
  template <class V> Result<rec::OutOf<V>> f64(V&& v);
  template <class V> Result<rec::OutOf<V>> str(V&& v);
  template <class V> Result<rec::OutOf<V>> bytes(V&& v);
  template <class V> Result<rec::OutOf<V>> identifier(V&& v);
  template <class V> Result<rec::OutOf<V>> unit(V&& v);
  template <class V> Result<rec::OutOf<V>> option(V&& v);
  template <class V> Result<rec::OutOf<V>> seq(V&& v);
  template <class V> Result<rec::OutOf<V>> map(V&& v);
  template <class V> Result<rec::OutOf<V>> struct_(std::string_view, rec::Names, V&& v) { return map(v); }
  template <class V> Result<rec::OutOf<V>> enum_(std::string_view, rec::Names, V&& v);
  Status ignored_any();

  Decoder& decoder() { return dec_; }
  std::size_t offset() const { return dec_.offset(); }

 private:
  // An integer head or bignum: the value is -1 - magnitude when negative.
  struct RawInt {
    bool negative = false;
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;
  };

  static rec::Ctx ctx() { return rec::Ctx{family}; }

  // The next head that is not a tag.
  Result<Header> pull_untagged();
  Result<RawInt> integer();
  // The byte string after a bignum tag: its significant bytes, at most 16.
  Result<RawInt> bignum(bool negative);

  using Level = binary::DepthBudget::Level;

  template <class V> Result<rec::OutOf<V>> tagged(V& v, std::uint64_t tag);

  Decoder dec_;
  binary::DepthBudget depth_{kDepthLimit};
};

// Reads one item from the start of `bytes` with read(de) and gives errors
// their final form; what follows the item is ignored.
template <class F>
auto read_item(std::string_view bytes, F&& read) -> decltype(read(std::declval<De&>())) {
  De de(bytes);
  auto r = read(de);
  if (!r.ok()) return finish_error(r.take_error());
  return r;
}

// ---- access objects ---------------------------------------------------------

template <class F>
Result<bool> Remaining::next(De& de, F&& f) {
  if (done_) return false;
  if (definite_) {
    if (left_ == 0) return false;
    --left_;
  } else {
    WW_TRY_ASSIGN(Header h, de.decoder().pull());
    if (h.is(Header::Type::Break)) {
      done_ = true;
      return false;
    }
    de.decoder().push(h);
  }
  WW_TRY(f(de));
  return true;
}

template <class V>
Result<rec::OutOf<V>> VariantAccess::tuple_variant(std::size_t, V&& v) {
  return de_->any(v);
}

template <class V>
Result<rec::OutOf<V>> VariantAccess::struct_variant(rec::Names, V&& v) {
  return de_->any(v);
}

// ---- De ----------------------------------------------------------------------

// Accepts anything, reading it to its end.
struct SkipVisitor : rec::Visitor<SkipVisitor, bool> {
  std::string expecting() const { return "anything at all"; }
  Result<bool> visit_bool(rec::Ctx, bool) { return true; }
  Result<bool> visit_i64(rec::Ctx, std::int64_t) { return true; }
  Result<bool> visit_u64(rec::Ctx, std::uint64_t) { return true; }
  Result<bool> visit_wide(rec::Ctx, const rec::WideInt&) { return true; }
  Result<bool> visit_f64(rec::Ctx, double) { return true; }
  Result<bool> visit_str(rec::Ctx, std::string_view) { return true; }
  Result<bool> visit_bytes(rec::Ctx, std::string_view) { return true; }
  Result<bool> visit_unit(rec::Ctx) { return true; }
  Result<bool> visit_none(rec::Ctx) { return true; }
  template <class D>
  Result<bool> visit_some(rec::Ctx, D& de) {
    WW_TRY(de.ignored_any());
    return true;
  }
  template <class S>
  Result<bool> visit_seq(rec::Ctx, S& seq) {
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([](auto& d) { return d.ignored_any(); }));
      if (!more) return true;
    }
  }
  template <class M>
  Result<bool> visit_map(rec::Ctx, M& map) {
    for (;;) {
      WW_TRY_ASSIGN(bool more, map.next_key([](auto& d) { return d.ignored_any(); }));
      if (!more) return true;
      WW_TRY(map.next_value([](auto& d) { return d.ignored_any(); }));
    }
  }
  template <class E>
  Result<bool> visit_enum(rec::Ctx, E& e) {
    WW_TRY_ASSIGN(auto va, e.variant([](auto& id) { return id.ignored_any(); }));
    WW_TRY(va.newtype([](auto& d) { return d.ignored_any(); }));
    return true;
  }
};

inline Status De::ignored_any() {
  auto r = any(SkipVisitor{});
  if (!r.ok()) return r.take_error();
  return {};
}

template <class V>
Result<rec::OutOf<V>> De::any(V&& v) {
  using T = Header::Type;
  WW_TRY_ASSIGN(Header h, dec_.pull());
  switch (h.type) {
    case T::Positive: return v.visit_u64(ctx(), h.arg);
    case T::Negative:
      if (h.arg <= static_cast<std::uint64_t>(INT64_MAX)) {
        return v.visit_i64(ctx(), -1 - static_cast<std::int64_t>(h.arg));
      }
      return v.visit_wide(ctx(), rec::WideInt{true, 0, h.arg});
    case T::Bytes: {
      std::string buf;
      WW_TRY_ASSIGN(std::string_view s, dec_.bytes(h, buf));
      return v.visit_bytes(ctx(), s);
    }
    case T::Text: {
      std::string buf;
      WW_TRY_ASSIGN(std::string_view s, dec_.text(h, buf));
      return v.visit_str(ctx(), s);
    }
    case T::Array: {
      const Level level(depth_);
      if (!level) return recursion_limit();
      SeqAccess seq(*this, h);
      return v.visit_seq(ctx(), seq);
    }
    case T::Map: {
      const Level level(depth_);
      if (!level) return recursion_limit();
      MapAccess m(*this, h);
      return v.visit_map(ctx(), m);
    }
    case T::Tag: return tagged(v, h.arg);
    case T::Float: return v.visit_f64(ctx(), h.f);
    case T::Simple:
      if (h.arg == kFalse || h.arg == kTrue) return v.visit_bool(ctx(), h.arg == kTrue);
      if (h.arg == kNull || h.arg == kUndefined) return v.visit_none(ctx());
      return refuse_head(h, "known simple value");
    case T::Break: break;
  }
  return refuse_head(h, "non-break");
}

template <class V>
Result<rec::OutOf<V>> De::tagged(V& v, std::uint64_t tag) {
  WW_TRY_ASSIGN(Header next, dec_.pull());
  dec_.push(next);
  if ((tag == kTagPositiveBignum || tag == kTagNegativeBignum) && next.is(Header::Type::Bytes) && next.definite &&
      next.arg <= 16) {
    WW_TRY_ASSIGN(RawInt r, bignum(tag == kTagNegativeBignum));
    if (r.negative && (r.hi >> 63) != 0) return rec::custom("integer too large");
    return v.visit_wide(ctx(), rec::WideInt{r.negative, r.hi, r.lo});
  }
  const Level level(depth_);
  if (!level) return recursion_limit();
  TagAccess access(*this, tag);
  return v.visit_enum(ctx(), access);
}

template <class V>
Result<rec::OutOf<V>> De::boolean(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (h.is_simple(kFalse) || h.is_simple(kTrue)) return v.visit_bool(ctx(), h.arg == kTrue);
  return semantic_at(h.offset, "expected bool");
}

template <class V>
Result<rec::OutOf<V>> De::u64(V&& v) {
  WW_TRY_ASSIGN(RawInt r, integer());
  if (r.negative) return rec::custom("unexpected negative integer");
  if (r.hi != 0) return rec::custom("integer too large");
  return v.visit_u64(ctx(), r.lo);
}

template <class V>
Result<rec::OutOf<V>> De::i64(V&& v) {
  WW_TRY_ASSIGN(RawInt r, integer());
  if (r.hi != 0 || r.lo > static_cast<std::uint64_t>(INT64_MAX)) return rec::custom("integer too large");
  const auto n = static_cast<std::int64_t>(r.lo);
  return v.visit_i64(ctx(), r.negative ? -1 - n : n);
}

template <class V>
Result<rec::OutOf<V>> De::f64(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (h.is(Header::Type::Float)) return v.visit_f64(ctx(), h.f);
  return refuse_head(h, "float");
}

template <class V>
Result<rec::OutOf<V>> De::str(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if constexpr (rec::borrows_str<V>) {
    if (!h.is(Header::Type::Text) || !h.definite || h.arg > kScratchSize) return refuse_head(h, "str");
  } else {
    if (!h.is(Header::Type::Text)) return refuse_head(h, "string");
  }
  std::string buf;
  WW_TRY_ASSIGN(std::string_view s, dec_.text(h, buf));
  return v.visit_str(ctx(), s);
}

template <class V>
Result<rec::OutOf<V>> De::bytes(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (h.is(Header::Type::Bytes)) {
    std::string buf;
    WW_TRY_ASSIGN(std::string_view s, dec_.bytes(h, buf));
    return v.visit_bytes(ctx(), s);
  }
  if (h.is(Header::Type::Array)) {
    const Level level(depth_);
    if (!level) return recursion_limit();
    SeqAccess seq(*this, h);
    return v.visit_seq(ctx(), seq);
  }
  return refuse_head(h, "bytes");
}

template <class V>
Result<rec::OutOf<V>> De::identifier(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  const bool short_string = (h.is(Header::Type::Text) || h.is(Header::Type::Bytes)) && h.definite && h.arg <= kScratchSize;
  if (!short_string) return refuse_head(h, "str or bytes");
  if (h.is(Header::Type::Bytes)) {
    WW_TRY_ASSIGN(std::string_view s, dec_.take(h.arg));
    return v.visit_bytes(ctx(), s);
  }
  std::string buf;
  WW_TRY_ASSIGN(std::string_view s, dec_.text(h, buf));
  return v.visit_str(ctx(), s);
}

template <class V>
Result<rec::OutOf<V>> De::unit(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (h.is_simple(kNull)) return v.visit_unit(ctx());
  return refuse_head(h, "unit");
}

template <class V>
Result<rec::OutOf<V>> De::option(V&& v) {
  WW_TRY_ASSIGN(Header h, dec_.pull());
  if (h.is_simple(kNull) || h.is_simple(kUndefined)) return v.visit_none(ctx());
  dec_.push(h);
  return v.visit_some(ctx(), *this);
}

template <class V>
Result<rec::OutOf<V>> De::seq(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (h.is(Header::Type::Array)) {
    const Level level(depth_);
    if (!level) return recursion_limit();
    SeqAccess seq(*this, h);
    return v.visit_seq(ctx(), seq);
  }
  if (h.is(Header::Type::Bytes)) {
    std::string buf;
    WW_TRY_ASSIGN(std::string_view s, dec_.bytes(h, buf));
    binary::ByteSeq seq(s);
    return v.visit_seq(ctx(), seq);
  }
  return refuse_head(h, "array");
}

template <class V>
Result<rec::OutOf<V>> De::map(V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  if (!h.is(Header::Type::Map)) return refuse_head(h, "map");
  const Level level(depth_);
  if (!level) return recursion_limit();
  MapAccess m(*this, h);
  return v.visit_map(ctx(), m);
}

template <class V>
Result<rec::OutOf<V>> De::enum_(std::string_view, rec::Names, V&& v) {
  WW_TRY_ASSIGN(Header h, pull_untagged());
  const bool with_payload = h.is(Header::Type::Map) && h.definite && h.arg == 1;
  if (!with_payload && !h.is(Header::Type::Text)) return refuse_head(h, "enum");
  const Level level(depth_);
  if (!level) return recursion_limit();
  if (with_payload) {
    VariantAccess access(*this);
    return v.visit_enum(ctx(), access);
  }
  dec_.push(h);  // the name is read by the variant's identifier
  rec::UnitVariantAccess<De> access(*this);
  return v.visit_enum(ctx(), access);
}

}  // namespace ww::cbor
