// Reading a specification. The specification object and "version" are read
// straight from the text; the root policy is read in two steps
// (format/json/tagged.h), so its nested policies are built from the buffered
// root value, depth first in text order, and their faults are reported after
// the root value has been read whole.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "crdt/crdt_spec.h"
#include "format/json/tagged.h"
#include "format/json/text_de.h"
#include "format/record/fields.h"
#include "format/record/keyed.h"
#include "format/record/list.h"
#include "format/record/tagged_union.h"
#include "format/record/visitor.h"

namespace ww::crdt {
namespace {

constexpr std::array<std::string_view, 4> kKinds = {"register", "map", "set", "sequence"};
constexpr std::array<std::string_view, 2> kMaterializations = {"list", "string"};

constexpr std::array<std::string_view, 2> kMapFields = {"fields", "values"};
constexpr std::array<std::string_view, 2> kSetFields = {"keys", "element"};
constexpr std::array<std::string_view, 2> kSequenceFields = {"materialization", "element"};
constexpr std::array<std::string_view, 2> kSpecFields = {"version", "root"};

// Every member of a policy may be left out; unknown members are refused.
constexpr rec::RecordShape kRegisterShape{.expecting = "struct variant CrdtPolicy::Register", .deny_unknown = true};
constexpr rec::RecordShape kMapShape{
    .fields = kMapFields, .expecting = "struct variant CrdtPolicy::Map", .defaulted = 0b11, .deny_unknown = true};
constexpr rec::RecordShape kSetShape{
    .fields = kSetFields, .expecting = "struct variant CrdtPolicy::Set", .defaulted = 0b11, .deny_unknown = true};
constexpr rec::RecordShape kSequenceShape{.fields = kSequenceFields,
                                          .expecting = "struct variant CrdtPolicy::Sequence",
                                          .defaulted = 0b11,
                                          .deny_unknown = true};
constexpr rec::RecordShape kSpecShape{.fields = kSpecFields,
                                      .expecting = "struct CrdtSpec",
                                      .required = rec::field_bit(1),
                                      .defaulted = rec::field_bit(0),
                                      .deny_unknown = true};

template <class D>
Result<CrdtPolicy> read_policy(D& de);

struct ReadPolicy {
  template <class D>
  Result<CrdtPolicy> operator()(D& de) const { return read_policy(de); }
};

// "fields": name -> policy; a repeated name keeps its last policy.
template <class D>
Result<std::map<std::string, CrdtPolicy, std::less<>>> read_policy_fields(D& de) {
  return rec::read_keyed<std::map<std::string, CrdtPolicy, std::less<>>>(de, ReadPolicy{});
}

template <class D>
Result<std::vector<IdentityPath>> read_identity_paths(D& de) {
  return rec::read_list<IdentityPath>(de, [](auto& path) {
    return rec::read_list<std::string>(path, [](auto& segment) { return rec::read_string(segment); });
  });
}

// "list" or "string", or an object of one member with a unit value.
template <class D>
Result<SequenceMaterialization> read_materialization(D& de) {
  return rec::read_union<SequenceMaterialization, kMaterializations>(
      de, "SequenceMaterialization",
      [](std::size_t kind, auto& va) -> Result<SequenceMaterialization> {
        WW_TRY(va.unit_variant());
        return kind == 0 ? SequenceMaterialization::List : SequenceMaterialization::String;
      });
}

template <class D>
Result<CrdtPolicy> read_policy(D& de) {
  WW_TRY_ASSIGN(json::TaggedContent content, json::read_tagged(de, "kind", "internally tagged enum CrdtPolicy",
                                                               rec::variant_names(kKinds)));
  switch (static_cast<CrdtPolicy::Kind>(content.tag)) {
    case CrdtPolicy::Kind::Register: {
      WW_TRY(content.read_fields(kRegisterShape, [](std::size_t, auto&) -> Status { return {}; }));
      return CrdtPolicy(RegisterPolicy{});
    }
    case CrdtPolicy::Kind::Map: {
      MapPolicy p;
      WW_TRY(content.read_fields(kMapShape,
                                 rec::fields([&](auto& d) { return rec::assign(p.fields, read_policy_fields(d)); },
                                             [&](auto& d) { return rec::assign(*p.values, read_policy(d)); })));
      return CrdtPolicy(std::move(p));
    }
    case CrdtPolicy::Kind::Set: {
      SetPolicy p;
      WW_TRY(content.read_fields(kSetShape,
                                 rec::fields([&](auto& d) { return rec::assign(p.keys, read_identity_paths(d)); },
                                             [&](auto& d) { return rec::assign(*p.element, read_policy(d)); })));
      return CrdtPolicy(std::move(p));
    }
    case CrdtPolicy::Kind::Sequence: break;
  }
  SequencePolicy p;
  WW_TRY(content.read_fields(
      kSequenceShape, rec::fields([&](auto& d) { return rec::assign(p.materialization, read_materialization(d)); },
                                  [&](auto& d) { return rec::assign(*p.element, read_policy(d)); })));
  return CrdtPolicy(std::move(p));
}

}  // namespace

Result<CrdtSpec> CrdtSpec::from_json(std::string_view text) {
  CrdtSpec spec;
  auto read = rec::fields([&](auto& de) { return rec::assign(spec.version, rec::read_u32(de)); },
                          [&](auto& de) { return rec::assign(spec.root, read_policy(de)); });
  WW_TRY(json::read_whole(text, false, [&](json::TextDe& de) { return rec::read_fields(de, kSpecShape, read); }));
  WW_TRY(check_spec_version(spec.version));
  WW_TRY(validate_policy(spec.root, "root"));
  normalize_policy(spec.root);
  return spec;
}

}  // namespace ww::crdt
