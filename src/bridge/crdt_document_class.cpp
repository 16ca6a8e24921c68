#include "bridge/crdt_document_class.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "crdt/reducer/document_json.h"

namespace ww::bridge {
namespace {

using ww::crdt::reducer::CrdtDocument;

constexpr MethodSpec kFromState = make_method("CrdtDocument", "from_state", {"spec_json", "state_json", "replica"},
                                              Flavour::Static, Access::None);
constexpr MethodSpec kValue = make_method("CrdtDocument", "value", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kState = make_method("CrdtDocument", "state", {}, Flavour::None, Access::Shared);
constexpr MethodSpec kMutate = make_method("CrdtDocument", "mutate", {"mutations_json"}, Flavour::Fast,
                                           Access::Exclusive);
constexpr MethodSpec kApply = make_method("CrdtDocument", "apply", {"ops_json"}, Flavour::Fast, Access::Exclusive);
constexpr MethodSpec kMemberKey = make_method("CrdtDocument", "member_key", {"path_json", "value_json"},
                                              Flavour::Fast, Access::Shared);
constexpr MethodSpec kCompact = make_method("CrdtDocument", "compact", {"frontier_json"}, Flavour::Fast,
                                            Access::Exclusive);

ww::Result<NewInstance<CrdtDocumentClass>> from_state(std::string_view spec_json, std::string_view state_json,
                                                      std::string_view replica) {
  WW_TRY_ASSIGN(CrdtDocument doc, CrdtDocument::from_state(spec_json, state_json, replica));
  return NewInstance<CrdtDocumentClass>{std::move(doc)};
}

ww::Result<std::string> value(const CrdtDocument& doc) { return doc.value_json(); }
std::string state(const CrdtDocument& doc) { return doc.state(); }
ww::Result<std::string> mutate(CrdtDocument& doc, std::string_view mutations_json) {
  return crdt::reducer::mutate_json(doc, mutations_json);
}
ww::Result<std::string> apply(CrdtDocument& doc, std::string_view ops_json) {
  return crdt::reducer::apply_json(doc, ops_json);
}
ww::Result<std::string> member_key(const CrdtDocument& doc, std::string_view path_json, std::string_view value_json) {
  return crdt::reducer::member_key_json(doc, path_json, value_json);
}
ww::Result<std::uint64_t> compact(CrdtDocument& doc, std::string_view frontier_json) {
  return crdt::reducer::compact_json(doc, frontier_json);
}

}  // namespace

ww::Result<CrdtDocument> CrdtDocumentClass::construct_document(std::string_view spec_json,
                                                               std::string_view value_json,
                                                               std::string_view replica) {
  return CrdtDocument::create(spec_json, value_json, replica);
}

const MethodEntry CrdtDocumentClass::methods[7] = {
    method<kFromState, &from_state>(), method<kValue, &value>(),         method<kState, &state>(),
    method<kMutate, &mutate>(),        method<kApply, &apply>(),         method<kMemberKey, &member_key>(),
    method<kCompact, &compact>(),
};

}  // namespace ww::bridge
