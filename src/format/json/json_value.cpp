#include "format/json/json_value.h"

#include <algorithm>

#include "format/json/json_value_read.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/json/value_de.h"

namespace ww {

JsonValue JsonValue::sorted_object(Object members) {
  auto less = [](const Member& a, const Member& b) { return a.first < b.first; };
  bool strictly_sorted = true;
  for (std::size_t i = 1; i < members.size(); ++i) {
    if (!(members[i - 1].first < members[i].first)) {
      strictly_sorted = false;
      break;
    }
  }
  if (!strictly_sorted) {
    if (members.size() <= 16) {
      // Small objects: a stable insertion sort without a temporary buffer.
      for (std::size_t i = 1; i < members.size(); ++i) {
        for (std::size_t j = i; j > 0 && less(members[j], members[j - 1]); --j) std::swap(members[j], members[j - 1]);
      }
    } else {
      std::stable_sort(members.begin(), members.end(), less);
    }
    // Keep the last of each run of equal keys.
    std::size_t out = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i + 1 < members.size() && members[i + 1].first == members[i].first) continue;
      if (out != i) members[out] = std::move(members[i]);
      ++out;
    }
    members.resize(out);
  }
  return object(std::move(members));
}

const JsonValue* JsonValue::find(std::string_view key) const {
  const Object& o = as_object();
  auto it = std::lower_bound(o.begin(), o.end(), key,
                             [](const Member& m, std::string_view k) { return std::string_view(m.first) < k; });
  if (it != o.end() && it->first == key) return &it->second;
  return nullptr;
}

void write_json(const JsonValue& v, std::string& out) {
  switch (v.kind()) {
    case JsonValue::Kind::Null: out.append("null"); return;
    case JsonValue::Kind::Bool: out.append(v.as_bool() ? "true" : "false"); return;
    case JsonValue::Kind::U64: json::append_u64(v.as_u64(), out); return;
    case JsonValue::Kind::I64: json::append_i64(v.as_i64(), out); return;
    case JsonValue::Kind::F64: json::append_f64(v.as_f64(), out); return;
    case JsonValue::Kind::Str: json::append_str(v.as_str(), out); return;
    case JsonValue::Kind::Array: {
      out.push_back('[');
      bool first = true;
      for (const auto& e : v.as_array()) {
        if (!first) out.push_back(',');
        first = false;
        write_json(e, out);
      }
      out.push_back(']');
      return;
    }
    case JsonValue::Kind::Object: {
      out.push_back('{');
      bool first = true;
      for (const auto& [k, e] : v.as_object()) {
        if (!first) out.push_back(',');
        first = false;
        json::append_str(k, out);
        out.push_back(':');
        write_json(e, out);
      }
      out.push_back('}');
      return;
    }
  }
}

std::string to_json_text(const JsonValue& v) {
  std::string out;
  write_json(v, out);
  return out;
}

Result<JsonValue> parse_json_text(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return json::read_json_value(de); });
}

Result<JsonValue> parse_json_bytes(std::string_view bytes) {
  return json::read_whole(bytes, true, [](json::TextDe& de) { return json::read_json_value(de); });
}

namespace json {

rec::Unexpected unexpected_of(const JsonValue& v) {
  using K = rec::Unexpected::Kind;
  switch (v.kind()) {
    case JsonValue::Kind::Null: return rec::Unexpected::of(K::Unit);
    case JsonValue::Kind::Bool: return rec::Unexpected::boolean(v.as_bool());
    case JsonValue::Kind::U64: return rec::Unexpected::unsigned_(v.as_u64());
    case JsonValue::Kind::I64: return rec::Unexpected::signed_(v.as_i64());
    case JsonValue::Kind::F64: return rec::Unexpected::floating(v.as_f64());
    case JsonValue::Kind::Str: return rec::Unexpected::str(v.as_str());
    case JsonValue::Kind::Array: return rec::Unexpected::of(K::Seq);
    case JsonValue::Kind::Object: break;
  }
  return rec::Unexpected::of(K::Map);
}

}  // namespace json
}  // namespace ww
