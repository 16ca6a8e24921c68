// The interpreter class CrdtDocument: a face over crdt::reducer::CrdtDocument.
#pragma once

#include "bridge/class_type.h"
#include "crdt/reducer/document.h"

namespace ww::bridge {

struct CrdtDocumentClass {
  using State = ww::crdt::reducer::CrdtDocument;
  static constexpr ClassSpec spec = make_class("CrdtDocument", {"spec_json", "value_json", "replica"},
                                               "Schema-directed CRDT reducer backed by the shared core.");
  static ww::Result<State> construct_document(std::string_view spec_json, std::string_view value_json,
                                              std::string_view replica);
  static constexpr auto construct = &construct_document;
  // from_state, value, state, mutate, apply, member_key, compact
  static const MethodEntry methods[7];
};

}  // namespace ww::bridge
