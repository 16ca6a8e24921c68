#include "value/value.h"

#include "format/debug_text.h"
#include "format/float_text.h"
#include "format/json/json_writer.h"

namespace ww {

const char* kind_name(Value::Kind k) {
  static constexpr const char* kNames[] = {"Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"};
  return kNames[static_cast<int>(k)];
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Null: return true;
    case Value::Kind::Bool: return a.as_bool() == b.as_bool();
    case Value::Kind::Int: return a.as_int() == b.as_int();
    case Value::Kind::Float: return a.as_float() == b.as_float();
    case Value::Kind::Str: return a.as_str() == b.as_str();
    case Value::Kind::List: return a.as_list() == b.as_list();
    case Value::Kind::Map: {
      const auto& x = a.as_map();
      const auto& y = b.as_map();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i->first != j->first || !(i->second == j->second)) return false;
      }
      return true;
    }
    case Value::Kind::Submodel: return a.as_submodel() == b.as_submodel();
  }
  return false;
}

void append_debug(const Value& v, std::string& out) {
  out.append(kind_name(v.kind()));
  switch (v.kind()) {
    case Value::Kind::Null: return;
    case Value::Kind::Bool: out.append(v.as_bool() ? "(true)" : "(false)"); return;
    case Value::Kind::Int:
      out.push_back('(');
      json::append_i64(v.as_int(), out);
      out.push_back(')');
      return;
    case Value::Kind::Float:
      out.push_back('(');
      append_debug_double(v.as_float(), out);
      out.push_back(')');
      return;
    case Value::Kind::Str:
      out.push_back('(');
      append_debug_str(v.as_str(), out);
      out.push_back(')');
      return;
    case Value::Kind::List: {
      out.append("([");
      bool first = true;
      for (const auto& e : v.as_list()) {
        if (!first) out.append(", ");
        first = false;
        append_debug(e, out);
      }
      out.append("])");
      return;
    }
    case Value::Kind::Map: {
      out.append("({");
      bool first = true;
      for (const auto& [k, e] : v.as_map()) {
        if (!first) out.append(", ");
        first = false;
        append_debug_str(k, out);
        out.append(": ");
        append_debug(e, out);
      }
      out.append("})");
      return;
    }
    case Value::Kind::Submodel:
      out.append("(ModelId(");
      json::append_u64(v.as_submodel().id, out);
      out.append("))");
      return;
  }
}

std::string debug_text(const Value& v) {
  std::string out;
  append_debug(v, out);
  return out;
}

}  // namespace ww
