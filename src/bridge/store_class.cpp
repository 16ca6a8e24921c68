#include "bridge/store_class.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ww::bridge {
namespace {

ww::Result<std::uint64_t> store_host(ww::Store& store, std::string_view type_name, std::string_view value_json) {
  return store.host(type_name, value_json);
}

std::optional<std::string> store_snapshot(const ww::Store& store, std::uint64_t id) {
  return store.snapshot(ww::ModelId{id});
}

ww::Result<std::optional<std::string>> store_mutate(ww::Store& store, std::uint64_t id,
                                                    std::string_view value_json) {
  return store.mutate(ww::ModelId{id}, value_json);
}

ww::Result<bool> store_apply(ww::Store& store, std::uint64_t id, std::string_view patch_json) {
  return store.apply(ww::ModelId{id}, patch_json);
}

constexpr MethodSpec kHost = make_method("Store", "host", {"type_name", "value_json"}, Flavour::Fast,
                                         Access::Exclusive, "Host a model from its JSON; returns the assigned id.");
constexpr MethodSpec kSnapshot =
    make_method("Store", "snapshot", {"id"}, Flavour::Fast, Access::Shared,
                "`{\"type_name\":..,\"rev\":..,\"value\":..}` for a hosted model, or `None`.");
constexpr MethodSpec kMutate =
    make_method("Store", "mutate", {"id", "value_json"}, Flavour::Fast, Access::Exclusive,
                "Replace a hosted model from JSON; returns the JSON patch (or `None` if id unknown).");
constexpr MethodSpec kApply =
    make_method("Store", "apply", {"id", "patch_json"}, Flavour::Fast, Access::Exclusive,
                "Apply a JSON patch to a mirrored model; returns whether the id was known.");

}  // namespace

ww::Store StoreClass::construct_store() { return ww::Store(); }

const MethodEntry StoreClass::methods[4] = {
    method<kHost, &store_host>(),
    method<kSnapshot, &store_snapshot>(),
    method<kMutate, &store_mutate>(),
    method<kApply, &store_apply>(),
};

}  // namespace ww::bridge
