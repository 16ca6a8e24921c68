// Reading a specification. The specification object and "version" are read
// straight from the text; the root policy is read in two steps (tagged_read.h),
// so its nested policies are built from the buffered root value, depth first
// in text order, and their faults are reported after the root value has been
// read whole.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "crdt/crdt_spec.h"
#include "crdt/record_fields.h"
#include "crdt/tagged_read.h"
#include "format/json/text_de.h"
#include "format/record/visitor.h"

namespace ww::crdt {
namespace {

constexpr std::array<std::string_view, 4> kKinds = {"register", "map", "set", "sequence"};
constexpr std::array<std::string_view, 2> kMaterializations = {"list", "string"};

constexpr std::array<std::string_view, 2> kMapFields = {"fields", "values"};
constexpr std::array<std::string_view, 2> kSetFields = {"keys", "element"};
constexpr std::array<std::string_view, 2> kSequenceFields = {"materialization", "element"};
constexpr std::array<std::string_view, 2> kSpecFields = {"version", "root"};

// Every member of a policy may be left out.
const RecordShape kRegisterShape{{}, "struct variant CrdtPolicy::Register",
                                 "struct variant CrdtPolicy::Register with 0 elements", true, 0, 0};
const RecordShape kMapShape{kMapFields, "struct variant CrdtPolicy::Map",
                            "struct variant CrdtPolicy::Map with 2 elements", true, 0, 0b11};
const RecordShape kSetShape{kSetFields, "struct variant CrdtPolicy::Set",
                            "struct variant CrdtPolicy::Set with 2 elements", true, 0, 0b11};
const RecordShape kSequenceShape{kSequenceFields, "struct variant CrdtPolicy::Sequence",
                                 "struct variant CrdtPolicy::Sequence with 2 elements", true, 0, 0b11};
const RecordShape kSpecShape{kSpecFields, "struct CrdtSpec", "struct CrdtSpec with 2 elements", true,
                             field_bit(1), field_bit(0)};

template <class D>
Result<CrdtPolicy> read_policy(D& de);

// "fields": name -> policy; a repeated name keeps its last policy.
struct PolicyFieldsVisitor : rec::Visitor<PolicyFieldsVisitor, std::map<std::string, CrdtPolicy, std::less<>>> {
  using Fields = std::map<std::string, CrdtPolicy, std::less<>>;
  std::string expecting() const { return "a map"; }
  template <class M>
  Result<Fields> visit_map(rec::Ctx, M& map) {
    Fields out;
    for (;;) {
      std::string name;
      WW_TRY_ASSIGN(bool more, map.next_key([&](auto& kd) -> Status {
        WW_TRY_ASSIGN(name, kd.str(rec::StringVisitor{}));
        return {};
      }));
      if (!more) return out;
      WW_TRY(map.next_value([&](auto& de) -> Status {
        WW_TRY_ASSIGN(CrdtPolicy p, read_policy(de));
        out.insert_or_assign(std::move(name), std::move(p));
        return {};
      }));
    }
  }
};

struct SegmentsVisitor : rec::Visitor<SegmentsVisitor, IdentityPath> {
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<IdentityPath> visit_seq(rec::Ctx, S& seq) {
    IdentityPath out;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(std::string s, rec::read_string(de));
        out.push_back(std::move(s));
        return {};
      }));
      if (!more) return out;
    }
  }
};

struct IdentityPathsVisitor : rec::Visitor<IdentityPathsVisitor, std::vector<IdentityPath>> {
  std::string expecting() const { return "a sequence"; }
  template <class S>
  Result<std::vector<IdentityPath>> visit_seq(rec::Ctx, S& seq) {
    std::vector<IdentityPath> out;
    for (;;) {
      WW_TRY_ASSIGN(bool more, seq.next([&](auto& de) -> Status {
        WW_TRY_ASSIGN(IdentityPath p, de.seq(SegmentsVisitor{}));
        out.push_back(std::move(p));
        return {};
      }));
      if (!more) return out;
    }
  }
};

// "list" or "string", or an object of one member with a unit value.
struct MaterializationVisitor : rec::Visitor<MaterializationVisitor, SequenceMaterialization> {
  std::string expecting() const { return "enum SequenceMaterialization"; }
  template <class E>
  Result<SequenceMaterialization> visit_enum(rec::Ctx, E& e) {
    std::size_t k = 0;
    WW_TRY_ASSIGN(auto va, e.variant([&](auto& id) -> Status {
      WW_TRY_ASSIGN(k, id.identifier(rec::variant_names(kMaterializations)));
      return {};
    }));
    WW_TRY(va.unit_variant());
    return k == 0 ? SequenceMaterialization::List : SequenceMaterialization::String;
  }
};

template <class D>
Result<CrdtPolicy> read_policy(D& de) {
  WW_TRY_ASSIGN(TaggedContent content, read_tagged(de, "kind", "internally tagged enum CrdtPolicy", kKinds));
  switch (static_cast<CrdtPolicy::Kind>(content.tag)) {
    case CrdtPolicy::Kind::Register: {
      auto none = [](std::size_t, auto&) -> Status { return {}; };
      WW_TRY(content.visit_rest(FieldsVisitor(kRegisterShape, none)));
      return CrdtPolicy(RegisterPolicy{});
    }
    case CrdtPolicy::Kind::Map: {
      MapPolicy p;
      auto read = [&](std::size_t i, auto& d) -> Status {
        if (i == 0) {
          WW_TRY_ASSIGN(p.fields, d.map(PolicyFieldsVisitor{}));
        } else {
          WW_TRY_ASSIGN(*p.values, read_policy(d));
        }
        return {};
      };
      WW_TRY(content.visit_rest(FieldsVisitor(kMapShape, read)));
      return CrdtPolicy(std::move(p));
    }
    case CrdtPolicy::Kind::Set: {
      SetPolicy p;
      auto read = [&](std::size_t i, auto& d) -> Status {
        if (i == 0) {
          WW_TRY_ASSIGN(p.keys, d.seq(IdentityPathsVisitor{}));
        } else {
          WW_TRY_ASSIGN(*p.element, read_policy(d));
        }
        return {};
      };
      WW_TRY(content.visit_rest(FieldsVisitor(kSetShape, read)));
      return CrdtPolicy(std::move(p));
    }
    case CrdtPolicy::Kind::Sequence: break;
  }
  SequencePolicy p;
  auto read = [&](std::size_t i, auto& d) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(p.materialization, d.enum_("SequenceMaterialization", kMaterializations, MaterializationVisitor{}));
    } else {
      WW_TRY_ASSIGN(*p.element, read_policy(d));
    }
    return {};
  };
  WW_TRY(content.visit_rest(FieldsVisitor(kSequenceShape, read)));
  return CrdtPolicy(std::move(p));
}

}  // namespace

Result<CrdtSpec> CrdtSpec::from_json(std::string_view text) {
  CrdtSpec spec;
  auto read = [&](std::size_t i, auto& de) -> Status {
    if (i == 0) {
      WW_TRY_ASSIGN(std::uint64_t v, de.u64(rec::BoundedUVisitor("u32", UINT32_MAX)));
      spec.version = static_cast<std::uint32_t>(v);
    } else {
      WW_TRY_ASSIGN(spec.root, read_policy(de));
    }
    return {};
  };
  WW_TRY(json::read_whole(text, false, [&](json::TextDe& de) { return read_fields(de, kSpecShape, read); }));
  WW_TRY(check_spec_version(spec.version));
  WW_TRY(validate_policy(spec.root, "root"));
  normalize_policy(spec.root);
  return spec;
}

}  // namespace ww::crdt
