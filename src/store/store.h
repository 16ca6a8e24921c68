// The models hosted in one process, keyed by the id each was given. Ids are
// handed out from 1 upwards and never reused; models are never removed.
// Every operation reads its JSON argument before it looks at the id, and a
// failing operation leaves the store as it was.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "format/result.h"
#include "store/held.h"
#include "value/value.h"

namespace ww {

class Store {
 public:
  // Hosts the value in `value_json` under a fresh id, at revision 0.
  Result<std::uint64_t> host(std::string_view type_name, std::string_view value_json);

  // {"rev":..,"type_name":..,"value":..}, or nothing for an unknown id.
  std::optional<std::string> snapshot(ModelId id) const;

  // Replaces the model's value; returns the patch from the old value to the
  // new one at the next revision, or nothing for an unknown id. Fails,
  // changing nothing, when the revision is already 2^64 - 1.
  Result<std::optional<std::string>> mutate(ModelId id, std::string_view value_json);

  // Applies the patch in `patch_json` as a whole or not at all; the model
  // takes the patch's revision as given. False for an unknown id.
  Result<bool> apply(ModelId id, std::string_view patch_json);

  const Held* find(ModelId id) const;
  std::size_t size() const { return models_.size(); }

 private:
  std::map<ModelId, Held> models_;
  std::uint64_t next_id_ = 1;
};

}  // namespace ww
