// Validation and normalisation of a policy tree.
#include <algorithm>
#include <set>
#include <string>

#include "crdt/crdt_spec.h"
#include "format/debug_text.h"

namespace ww::crdt {
namespace {

Error fault(const std::string& path, std::string_view what) {
  std::string msg = path;
  msg.append(what);
  return Error::custom(std::move(msg));
}

Error key_path_fault(const std::string& path, std::string_view head, const IdentityPath& key_path,
                     std::string_view tail) {
  std::string msg = path;
  msg.append(head);
  append_debug_str_list(key_path, msg);
  msg.append(tail);
  return Error::custom(std::move(msg));
}

Status validate_identity_paths(const SetPolicy& set, const std::string& path) {
  std::set<IdentityPath> seen;
  for (const IdentityPath& key_path : set.keys) {
    bool empty = key_path.empty() || std::any_of(key_path.begin(), key_path.end(),
                                                 [](const std::string& s) { return s.empty(); });
    if (empty) return fault(path, ".keys contains an empty identity path or path segment");
    if (!seen.insert(key_path).second) return key_path_fault(path, ".keys contains duplicate path ", key_path, "");
    const CrdtPolicy* at = &*set.element;
    for (const std::string& segment : key_path) {
      const MapPolicy* map = at->map();
      if (!map) return key_path_fault(path, ".keys path ", key_path, " is not reachable in the element policy");
      at = &map->child(segment);
    }
    if (!at->is(CrdtPolicy::Kind::Register)) {
      return key_path_fault(path, ".keys path ", key_path, " must resolve to a register");
    }
  }
  return {};
}

}  // namespace

Status check_spec_version(std::uint32_t version) {
  if (version == 1) return {};
  return Error::custom("unsupported CRDT spec version " + std::to_string(version) + "; expected 1");
}

Status validate_policy(const CrdtPolicy& policy, const std::string& path) {
  switch (policy.kind()) {
    case CrdtPolicy::Kind::Register: return {};
    case CrdtPolicy::Kind::Map: {
      const MapPolicy& map = *policy.map();
      // The empty name sorts first, so it is met before any other field.
      for (const auto& [name, child] : map.fields) {
        if (name.empty()) return fault(path, ".fields contains an empty field name");
        WW_TRY(validate_policy(child, path + ".fields." + name));
      }
      return validate_policy(*map.values, path + ".values");
    }
    case CrdtPolicy::Kind::Set: {
      const SetPolicy& set = *policy.set();
      WW_TRY(validate_policy(*set.element, path + ".element"));
      return validate_identity_paths(set, path);
    }
    case CrdtPolicy::Kind::Sequence: break;
  }
  const SequencePolicy& seq = *policy.sequence();
  if (seq.materialization == SequenceMaterialization::String && !seq.element->is(CrdtPolicy::Kind::Register)) {
    return fault(path, ".element must be a register for string materialization");
  }
  return validate_policy(*seq.element, path + ".element");
}

void normalize_policy(CrdtPolicy& policy) {
  if (MapPolicy* map = policy.map()) {
    for (auto& [name, child] : map->fields) normalize_policy(child);
    normalize_policy(*map->values);
  } else if (SetPolicy* set = policy.set()) {
    std::sort(set->keys.begin(), set->keys.end());
    normalize_policy(*set->element);
  } else if (SequencePolicy* seq = policy.sequence()) {
    normalize_policy(*seq->element);
  }
}

}  // namespace ww::crdt
