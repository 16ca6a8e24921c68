#include "message/plain_value_text.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "message/plain_text_list.h"

namespace ww {
namespace {

using json::Number;
using json::TextDe;

// The number ahead, as the text reader finds it.
bool read_number(TextDe& de, Number& out) {
  const int c = de.parse_whitespace();
  bool positive = true;
  if (c == '-') {
    de.eat_char();
    positive = false;
  } else if (c < '0' || c > '9') {
    return false;
  }
  Result<Number> n = de.parse_integer(positive);
  if (!n.ok()) return false;
  out = *n;
  return true;
}

// The text ahead, its opening quote not yet consumed; valid until the next
// string is read.
bool read_text(TextDe& de, std::string_view& out) {
  if (de.parse_whitespace() != '"') return false;
  de.eat_char();
  Result<std::string_view> s = de.parse_str();
  if (!s.ok()) return false;
  out = *s;
  return true;
}

bool read_ident(TextDe& de, const char* rest) {
  de.eat_char();
  return de.parse_ident(rest).ok();
}

// The payload of kind `name`, as read_value's visitors take it.
bool read_payload(TextDe& de, std::string_view name, Value& out);

bool read_list(TextDe& de, Value& out) {
  if (de.parse_whitespace() != '[' || !de.enter().ok()) return false;
  Value::List items;
  if (!read_plain_list_items(de, items, read_plain_value)) return false;
  out = Value::list(std::move(items));
  return true;
}

bool read_map(TextDe& de, Value& out) {
  if (de.parse_whitespace() != '{' || !de.enter().ok()) return false;
  de.eat_char();
  Value::Map entries;
  int c = de.parse_whitespace();
  if (c != '}') {
    for (;;) {
      std::string_view k;
      if (!read_text(de, k)) return false;
      std::string key(k);
      if (!de.parse_object_colon().ok()) return false;
      Value v;
      if (!read_plain_value(de, v)) return false;
      // A repeated key keeps its last value, as when reading a map.
      if (entries.empty() || std::prev(entries.end())->first < key) {
        entries.emplace_hint(entries.end(), std::move(key), std::move(v));
      } else {
        entries.insert_or_assign(std::move(key), std::move(v));
      }
      c = de.parse_whitespace();
      if (c == '}') break;
      if (c != ',') return false;
      de.eat_char();
    }
  }
  de.eat_char();
  de.leave();
  out = Value::map(std::move(entries));
  return true;
}

bool read_payload(TextDe& de, std::string_view name, Value& out) {
  Number n;
  if (name == "Str") {
    std::string_view s;
    if (!read_text(de, s)) return false;
    out = Value::str(std::string(s));
    return true;
  }
  if (name == "Int") {
    if (!read_number(de, n)) return false;
    if (n.kind == Number::Kind::I64) {
      out = Value::integer(n.i);
    } else if (n.kind == Number::Kind::U64 && n.u <= static_cast<std::uint64_t>(INT64_MAX)) {
      out = Value::integer(static_cast<std::int64_t>(n.u));
    } else {
      return false;
    }
    return true;
  }
  if (name == "Float") {
    if (!read_number(de, n)) return false;
    switch (n.kind) {
      case Number::Kind::U64: out = Value::floating(static_cast<double>(n.u)); break;
      case Number::Kind::I64: out = Value::floating(static_cast<double>(n.i)); break;
      case Number::Kind::F64: out = Value::floating(n.f); break;
    }
    return true;
  }
  if (name == "Bool") {
    const int c = de.parse_whitespace();
    if (c == 't' && read_ident(de, "rue")) {
      out = Value::boolean(true);
      return true;
    }
    if (c == 'f' && read_ident(de, "alse")) {
      out = Value::boolean(false);
      return true;
    }
    return false;
  }
  if (name == "Submodel") {
    if (!read_number(de, n)) return false;
    if (n.kind == Number::Kind::U64) {
      out = Value::submodel(ModelId{n.u});
    } else if (n.kind == Number::Kind::I64 && n.i >= 0) {
      out = Value::submodel(ModelId{static_cast<std::uint64_t>(n.i)});
    } else {
      return false;
    }
    return true;
  }
  if (name == "List") return read_list(de, out);
  if (name == "Map") return read_map(de, out);
  if (name == "Null") {
    if (de.parse_whitespace() != 'n' || !read_ident(de, "ull")) return false;
    out = Value::null();
    return true;
  }
  return false;
}

}  // namespace

bool read_plain_value(TextDe& de, Value& out) {
  const int c = de.parse_whitespace();
  std::string_view name;
  if (c == '"') {
    if (!read_text(de, name) || name != "Null") return false;
    out = Value::null();
    return true;
  }
  if (c != '{' || !de.enter().ok()) return false;
  de.eat_char();
  if (!read_text(de, name)) return false;
  // The name is compared before the payload is read, so a name held in the
  // reader's scratch space (escaped) is still intact then.
  if (!de.parse_object_colon().ok() || !read_payload(de, name, out)) return false;
  if (de.parse_whitespace() != '}') return false;
  de.eat_char();
  de.leave();
  return true;
}

}  // namespace ww
