#include "format/record/errors.h"

#include <charconv>

#include "format/debug_text.h"
#include "format/float_text.h"

namespace ww::rec {
namespace {

template <class I>
void append_int(I v, std::string& out) {
  char buf[24];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append_ticked(std::string_view s, std::string& out) {
  out.push_back('`');
  out.append(s);
  out.push_back('`');
}

Error shape_error(std::string_view head, Family family, const Unexpected& found,
                  std::string_view expected) {
  std::string msg(head);
  append_unexpected(family, found, msg);
  msg.append(", expected ");
  msg.append(expected);
  return Error::custom(std::move(msg));
}

Error unknown_name(std::string_view what, std::string_view name, Names expected,
                   std::string_view none) {
  std::string msg("unknown ");
  msg.append(what);
  msg.push_back(' ');
  append_ticked(name, msg);
  if (expected.empty()) {
    msg.append(", there are no ");
    msg.append(none);
  } else {
    msg.append(", expected ");
    append_name_list(expected, msg);
  }
  return Error::custom(std::move(msg));
}

}  // namespace

void append_unexpected(Family family, const Unexpected& u, std::string& out) {
  using K = Unexpected::Kind;
  switch (u.kind) {
    case K::Bool: out.append(u.b ? "boolean `true`" : "boolean `false`"); return;
    case K::Unsigned: out.append("integer `"); append_int(u.u, out); out.push_back('`'); return;
    case K::Signed: out.append("integer `"); append_int(u.i, out); out.push_back('`'); return;
    case K::Float:
      out.append("floating point `");
      if (family == Family::Json) {
        // NaN and the infinities have no JSON form; they read NaN, inf, -inf.
        if (u.f != u.f || u.f - u.f != 0) {
          append_plain_double(u.f, out);
        } else {
          append_json_double(u.f, out);
        }
      } else {
        append_plain_double(u.f, out);
      }
      out.push_back('`');
      return;
    case K::Char: out.append("character `"); out.append(u.s); out.push_back('`'); return;
    case K::Str: out.append("string "); append_debug_str(u.s, out); return;
    case K::Bytes: out.append("byte array"); return;
    case K::Unit: out.append(family == Family::Json ? "null" : "unit value"); return;
    case K::Option: out.append("Option value"); return;
    case K::NewtypeStruct: out.append("newtype struct"); return;
    case K::Seq: out.append("sequence"); return;
    case K::Map: out.append("map"); return;
    case K::Enum: out.append("enum"); return;
    case K::UnitVariant: out.append("unit variant"); return;
    case K::NewtypeVariant: out.append("newtype variant"); return;
    case K::TupleVariant: out.append("tuple variant"); return;
    case K::StructVariant: out.append("struct variant"); return;
  }
}

void append_name_list(Names names, std::string& out) {
  switch (names.size()) {
    case 0: out.append("there are no names"); return;
    case 1: append_ticked(names[0], out); return;
    case 2:
      append_ticked(names[0], out);
      out.append(" or ");
      append_ticked(names[1], out);
      return;
    default:
      out.append("one of ");
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out.append(", ");
        append_ticked(names[i], out);
      }
  }
}

Error invalid_type(Family family, const Unexpected& found, std::string_view expected) {
  return shape_error("invalid type: ", family, found, expected);
}

Error invalid_value(Family family, const Unexpected& found, std::string_view expected) {
  return shape_error("invalid value: ", family, found, expected);
}

Error invalid_length(std::size_t length, std::string_view expected) {
  std::string msg("invalid length ");
  append_int(length, msg);
  msg.append(", expected ");
  msg.append(expected);
  return Error::custom(std::move(msg));
}

Error unknown_variant(std::string_view name, Names expected) {
  return unknown_name("variant", name, expected, "variants");
}

Error unknown_field(std::string_view name, Names expected) {
  return unknown_name("field", name, expected, "fields");
}

Error missing_field(std::string_view name) {
  std::string msg("missing field ");
  append_ticked(name, msg);
  return Error::custom(std::move(msg));
}

Error duplicate_field(std::string_view name) {
  std::string msg("duplicate field ");
  append_ticked(name, msg);
  return Error::custom(std::move(msg));
}

Error custom(std::string message) { return Error::custom(std::move(message)); }

std::string with_elements(std::string_view what, std::size_t n) {
  std::string s(what);
  s.append(" with ");
  append_int(n, s);
  s.append(n == 1 ? " element" : " elements");
  return s;
}

std::string elements_in(std::size_t n, std::string_view container) {
  std::string s;
  append_int(n, s);
  s.append(n == 1 ? " element in " : " elements in ");
  s.append(container);
  return s;
}

}  // namespace ww::rec
