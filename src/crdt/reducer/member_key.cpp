#include "crdt/reducer/member_key.h"

#include "format/debug_text.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {
namespace {

Error key_path_fault(const IdentityPath& path, std::string_view what) {
  std::string msg = "set key path ";
  append_debug_str_list(path, msg);
  msg.append(what);
  return Error::custom(std::move(msg));
}

Result<const Value*> value_at(const IdentityPath& path, const Value& value) {
  const Value* at = &value;
  for (const std::string& segment : path) {
    if (!at->is(Value::Kind::Map)) return key_path_fault(path, " descends through a non-map value");
    const Value::Map& map = at->as_map();
    auto it = map.find(segment);
    if (it == map.end()) {
      std::string what = " is missing segment ";
      append_debug_str(segment, what);
      return key_path_fault(path, what);
    }
    at = &it->second;
  }
  return at;
}

}  // namespace

Result<std::string> member_key(const std::vector<IdentityPath>& identity_paths, const Value& value) {
  std::string out;
  if (identity_paths.empty()) {
    write_value_json(value, out);
    return out;
  }
  out.push_back('[');
  bool first = true;
  for (const IdentityPath& path : identity_paths) {
    WW_TRY_ASSIGN(const Value* at, value_at(path, value));
    if (!first) out.push_back(',');
    first = false;
    out.append("[[");
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (i) out.push_back(',');
      json::append_str(path[i], out);
    }
    out.append("],");
    write_value_json(*at, out);
    out.push_back(']');
  }
  out.push_back(']');
  return out;
}

}  // namespace ww::crdt::reducer
