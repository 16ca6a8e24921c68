// The interpreter class `Store`: a thin face over ww::Store.
#pragma once

#include "bridge/class_type.h"
#include "store/store.h"

namespace ww::bridge {

struct StoreClass {
  using State = ww::Store;
  static constexpr ClassSpec spec =
      make_class("Store", {}, "In-process model store: host / mutate \u2192 patch / apply / snapshot.");
  static ww::Store construct_store();
  static constexpr auto construct = &construct_store;
  static const MethodEntry methods[4];  // host, snapshot, mutate, apply
};

}  // namespace ww::bridge
