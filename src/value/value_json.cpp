#include "value/value_json.h"

#include "format/json/json_value.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"
#include "value/value_read.h"

namespace ww {

using namespace std::string_view_literals;

void write_value_json(const Value& v, std::string& out) {
  switch (v.kind()) {
    case Value::Kind::Null: out.append("\"Null\""sv); return;
    case Value::Kind::Bool: out.append(v.as_bool() ? "{\"Bool\":true}"sv : "{\"Bool\":false}"sv); return;
    case Value::Kind::Int:
      out.append("{\"Int\":"sv);
      json::append_i64(v.as_int(), out);
      break;
    case Value::Kind::Float:
      out.append("{\"Float\":"sv);
      json::append_f64(v.as_float(), out);
      break;
    case Value::Kind::Str:
      out.append("{\"Str\":"sv);
      json::append_str(v.as_str(), out);
      break;
    case Value::Kind::List: {
      out.append("{\"List\":["sv);
      bool first = true;
      for (const auto& e : v.as_list()) {
        if (!first) out.push_back(',');
        first = false;
        write_value_json(e, out);
      }
      out.push_back(']');
      break;
    }
    case Value::Kind::Map: {
      out.append("{\"Map\":{"sv);
      bool first = true;
      for (const auto& [k, e] : v.as_map()) {
        if (!first) out.push_back(',');
        first = false;
        json::append_str(k, out);
        out.push_back(':');
        write_value_json(e, out);
      }
      out.push_back('}');
      break;
    }
    case Value::Kind::Submodel:
      out.append("{\"Submodel\":"sv);
      json::append_u64(v.as_submodel().id, out);
      break;
  }
  out.push_back('}');
}

std::string value_to_json(const Value& v) {
  std::string out;
  write_value_json(v, out);
  return out;
}

Result<Value> value_from_json_text(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return read_value(de); });
}

Result<Value> value_from_json_bytes(std::string_view bytes) {
  return json::read_whole(bytes, true, [](json::TextDe& de) { return read_value(de); });
}

JsonValue value_to_json_value(const Value& v) {
  auto tagged = [](const char* name, JsonValue payload) {
    JsonValue::Object o;
    o.emplace_back(name, std::move(payload));
    return JsonValue::object(std::move(o));
  };
  switch (v.kind()) {
    case Value::Kind::Null: return JsonValue::str("Null");
    case Value::Kind::Bool: return tagged("Bool", JsonValue::boolean(v.as_bool()));
    case Value::Kind::Int: return tagged("Int", JsonValue::i64(v.as_int()));
    case Value::Kind::Float: return tagged("Float", JsonValue::f64(v.as_float()));
    case Value::Kind::Str: return tagged("Str", JsonValue::str(v.as_str()));
    case Value::Kind::List: {
      JsonValue::Array items;
      items.reserve(v.as_list().size());
      for (const auto& e : v.as_list()) items.push_back(value_to_json_value(e));
      return tagged("List", JsonValue::array(std::move(items)));
    }
    case Value::Kind::Map: {
      JsonValue::Object members;
      members.reserve(v.as_map().size());
      for (const auto& [k, e] : v.as_map()) members.emplace_back(k, value_to_json_value(e));
      return tagged("Map", JsonValue::object(std::move(members)));
    }
    case Value::Kind::Submodel: return tagged("Submodel", JsonValue::u64(v.as_submodel().id));
  }
  return JsonValue();
}

Result<Value> value_from_json_value(const JsonValue& json) {
  json::ValueDe de(json);
  return read_value(de);
}

}  // namespace ww
