#include "store/store.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "diff/apply.h"
#include "diff/diff.h"
#include "diff/patch_json.h"
#include "format/json/json_writer.h"
#include "value/value_json.h"

namespace ww {

Result<std::uint64_t> Store::host(std::string_view type_name, std::string_view value_json) {
  WW_TRY_ASSIGN(Value value, value_from_json_text(value_json));
  const std::uint64_t id = next_id_++;
  models_.emplace_hint(models_.end(), ModelId{id}, Held{std::string(type_name), std::move(value), 0});
  return id;
}

std::optional<std::string> Store::snapshot(ModelId id) const {
  const Held* held = find(id);
  if (held == nullptr) return std::nullopt;
  // The members of a JSON object in ascending key order.
  std::string out("{\"rev\":");
  json::append_u64(held->rev, out);
  out.append(",\"type_name\":");
  json::append_str(held->type_name, out);
  out.append(",\"value\":");
  write_value_json(held->value, out);
  out.push_back('}');
  return out;
}

Result<std::optional<std::string>> Store::mutate(ModelId id, std::string_view value_json) {
  WW_TRY_ASSIGN(Value value, value_from_json_text(value_json));
  auto it = models_.find(id);
  if (it == models_.end()) return std::optional<std::string>();
  Held& held = it->second;
  // A revision that wrapped round to 0 would read as older than every other.
  if (held.rev == std::numeric_limits<std::uint64_t>::max()) {
    return Error::custom("model revision exhausted: the next revision would exceed 18446744073709551615");
  }
  Patch patch;
  diff::diff_value({}, held.value, value, patch.ops);
  held.value = std::move(value);
  held.rev += 1;  // also for an unchanged value
  patch.rev = held.rev;
  return std::optional<std::string>(patch_to_json(patch));
}

Result<bool> Store::apply(ModelId id, std::string_view patch_json) {
  WW_TRY_ASSIGN(Patch patch, patch_from_json_text(patch_json));
  auto it = models_.find(id);
  if (it == models_.end()) return false;
  Held& held = it->second;
  // All or nothing: a failing operation leaves the model as it was.
  WW_TRY(diff::apply_whole(held.value, patch.ops));
  held.rev = patch.rev;
  return true;
}

const Held* Store::find(ModelId id) const {
  auto it = models_.find(id);
  return it == models_.end() ? nullptr : &it->second;
}

}  // namespace ww
