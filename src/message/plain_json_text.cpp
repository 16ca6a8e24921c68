#include "message/plain_json_text.h"

#include <string>
#include <string_view>
#include <utility>

#include "message/plain_text_list.h"

namespace ww {
namespace {

using json::Number;
using json::TextDe;

bool read_string(TextDe& de, std::string_view& out) {
  de.eat_char();
  Result<std::string_view> s = de.parse_str();
  if (!s.ok()) return false;
  out = *s;
  return true;
}

bool read_array(TextDe& de, JsonValue& out) {
  if (!de.enter().ok()) return false;
  JsonValue::Array items;
  items.reserve(4);
  if (!read_plain_list_items(de, items, read_plain_json)) return false;
  out = JsonValue::array(std::move(items));
  return true;
}

bool read_object(TextDe& de, JsonValue& out) {
  if (!de.enter().ok()) return false;
  de.eat_char();
  JsonValue::Object members;
  members.reserve(4);
  int c = de.parse_whitespace();
  if (c != '}') {
    for (;;) {
      std::string_view key;
      if (c != '"' || !read_string(de, key)) return false;
      auto& member = members.emplace_back(std::string(key), JsonValue());
      if (!de.parse_object_colon().ok() || !read_plain_json(de, member.second)) return false;
      c = de.parse_whitespace();
      if (c == '}') break;
      if (c != ',') return false;
      de.eat_char();
      c = de.parse_whitespace();
    }
  }
  de.eat_char();
  de.leave();
  out = JsonValue::sorted_object(std::move(members));
  return true;
}

bool from_number(const Number& n, JsonValue& out) {
  switch (n.kind) {
    case Number::Kind::U64: out = JsonValue::u64(n.u); break;
    case Number::Kind::I64: out = JsonValue::i64(n.i); break;
    case Number::Kind::F64: out = JsonValue::f64(n.f); break;
  }
  return true;
}

bool read_ident(TextDe& de, const char* rest) {
  de.eat_char();
  return de.parse_ident(rest).ok();
}

}  // namespace

bool read_plain_json(TextDe& de, JsonValue& out) {
  const int c = de.parse_whitespace();
  switch (c) {
    case '{': return read_object(de, out);
    case '[': return read_array(de, out);
    case '"': {
      std::string_view s;
      if (!read_string(de, s)) return false;
      out = JsonValue::str(std::string(s));
      return true;
    }
    case 'n': out = JsonValue(); return read_ident(de, "ull");
    case 't': out = JsonValue::boolean(true); return read_ident(de, "rue");
    case 'f': out = JsonValue::boolean(false); return read_ident(de, "alse");
    case '-': {
      de.eat_char();
      Result<Number> n = de.parse_integer(false);
      return n.ok() && from_number(*n, out);
    }
    default: break;
  }
  if (c < '0' || c > '9') return false;
  Result<Number> n = de.parse_integer(true);
  return n.ok() && from_number(*n, out);
}

}  // namespace ww
