// CRDT specifications: the tree of merge policies that a CRDT document
// follows, with its validation, canonical JSON text and hash.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "crdt/boxed.h"
#include "format/result.h"

namespace ww::crdt {

enum class SequenceMaterialization : std::uint8_t { List, String };

struct CrdtPolicy;

// A path from a set member's value down to one of its identifying registers.
using IdentityPath = std::vector<std::string>;

struct RegisterPolicy {
  friend bool operator==(const RegisterPolicy&, const RegisterPolicy&) = default;
};

struct MapPolicy {
  std::map<std::string, CrdtPolicy, std::less<>> fields;
  Boxed<CrdtPolicy> values;  // every key that `fields` does not name

  // The policy of the entry `key`: its field, else `values`.
  const CrdtPolicy& child(std::string_view key) const;
  friend bool operator==(const MapPolicy&, const MapPolicy&);
};

struct SetPolicy {
  std::vector<IdentityPath> keys;
  Boxed<CrdtPolicy> element;
  friend bool operator==(const SetPolicy&, const SetPolicy&);
};

struct SequencePolicy {
  SequenceMaterialization materialization = SequenceMaterialization::List;
  Boxed<CrdtPolicy> element;
  friend bool operator==(const SequencePolicy&, const SequencePolicy&);
};

// One node of the policy tree. The kinds in this order give the variant
// indexes 0 to 3; default-constructed, a register.
struct CrdtPolicy {
  enum class Kind : std::uint8_t { Register, Map, Set, Sequence };
  std::variant<RegisterPolicy, MapPolicy, SetPolicy, SequencePolicy> node;

  CrdtPolicy() = default;
  CrdtPolicy(RegisterPolicy p) : node(std::move(p)) {}  // NOLINT: implicit by design
  CrdtPolicy(MapPolicy p) : node(std::move(p)) {}       // NOLINT
  CrdtPolicy(SetPolicy p) : node(std::move(p)) {}       // NOLINT
  CrdtPolicy(SequencePolicy p) : node(std::move(p)) {}  // NOLINT

  Kind kind() const { return static_cast<Kind>(node.index()); }
  bool is(Kind k) const { return kind() == k; }
  const MapPolicy* map() const { return std::get_if<MapPolicy>(&node); }
  MapPolicy* map() { return std::get_if<MapPolicy>(&node); }
  const SetPolicy* set() const { return std::get_if<SetPolicy>(&node); }
  SetPolicy* set() { return std::get_if<SetPolicy>(&node); }
  const SequencePolicy* sequence() const { return std::get_if<SequencePolicy>(&node); }
  SequencePolicy* sequence() { return std::get_if<SequencePolicy>(&node); }

  friend bool operator==(const CrdtPolicy&, const CrdtPolicy&) = default;
};

// "register", "map", "set", "sequence".
std::string_view policy_kind_name(CrdtPolicy::Kind kind);

struct CrdtSpec {
  std::uint32_t version = 1;
  CrdtPolicy root;

  // Reads, checks the version, validates and normalises.
  static Result<CrdtSpec> from_json(std::string_view text);
  // The canonical compact text; refuses a bad version or an invalid tree.
  static Result<std::string> to_json(const CrdtSpec& spec);
  // "sha256:" and the hex digest of to_json's text.
  static Result<std::string> hash(const CrdtSpec& spec);

  friend bool operator==(const CrdtSpec&, const CrdtSpec&) = default;
};

// "unsupported CRDT spec version <v>; expected 1" unless `version` is 1.
Status check_spec_version(std::uint32_t version);

// The first fault of the tree; `path` names `policy` in messages ("root").
Status validate_policy(const CrdtPolicy& policy, const std::string& path);

// Sorts the identity paths of every set of the tree.
void normalize_policy(CrdtPolicy& policy);

}  // namespace ww::crdt
