// The record-shape errors shared by every reader: "invalid type: <found>,
// expected <expected>" and its family. How a found null or double reads
// depends on the family of the reader that found it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "format/result.h"

namespace ww::rec {

// JSON readers (text, buffered members, parsed values) write a found null as
// "null" and a double in JSON text form; the byte-format readers write
// "unit value" and a plain decimal.
enum class Family : std::uint8_t { Json, Binary };

// A found value, as quoted by "invalid type" and "invalid value".
struct Unexpected {
  enum class Kind : std::uint8_t {
    Bool, Unsigned, Signed, Float, Char, Str, Bytes, Unit, Option, NewtypeStruct,
    Seq, Map, Enum, UnitVariant, NewtypeVariant, TupleVariant, StructVariant,
  };
  Kind kind = Kind::Unit;
  bool b = false;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0;
  std::string_view s;

  static Unexpected boolean(bool v) { Unexpected r; r.kind = Kind::Bool; r.b = v; return r; }
  static Unexpected unsigned_(std::uint64_t v) { Unexpected r; r.kind = Kind::Unsigned; r.u = v; return r; }
  static Unexpected signed_(std::int64_t v) { Unexpected r; r.kind = Kind::Signed; r.i = v; return r; }
  static Unexpected floating(double v) { Unexpected r; r.kind = Kind::Float; r.f = v; return r; }
  static Unexpected str(std::string_view v) { Unexpected r; r.kind = Kind::Str; r.s = v; return r; }
  static Unexpected of(Kind k) { Unexpected r; r.kind = k; return r; }
};

void append_unexpected(Family family, const Unexpected& u, std::string& out);

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
void append_name_list(std::span<const std::string_view> names, std::string& out);

using Names = std::span<const std::string_view>;

Error invalid_type(Family family, const Unexpected& found, std::string_view expected);
Error invalid_value(Family family, const Unexpected& found, std::string_view expected);
Error invalid_length(std::size_t length, std::string_view expected);
Error unknown_variant(std::string_view name, Names expected);
Error unknown_field(std::string_view name, Names expected);
Error missing_field(std::string_view name);
Error duplicate_field(std::string_view name);
Error custom(std::string message);

// "struct Patch with 2 elements" / "... with 1 element".
std::string with_elements(std::string_view what, std::size_t n);
// "2 elements in sequence" / "1 element in sequence" / "... in map".
std::string elements_in(std::size_t n, std::string_view container);

}  // namespace ww::rec
