#include "bridge/crdt_spec_functions.h"

#include "crdt/crdt_spec.h"

namespace ww::bridge {

using ww::crdt::CrdtSpec;

ww::Result<std::string> normalize_crdt_spec(std::string_view json) {
  ww::Result<CrdtSpec> spec = CrdtSpec::from_json(json);
  if (!spec.ok()) return spec.take_error();
  return CrdtSpec::to_json(*spec);
}

ww::Result<std::string> crdt_spec_hash(std::string_view json) {
  ww::Result<CrdtSpec> spec = CrdtSpec::from_json(json);
  if (!spec.ok()) return spec.take_error();
  return CrdtSpec::hash(*spec);
}

ww::Status require_crdt_spec_hash(std::string_view json, std::string_view peer_hash) {
  ww::Result<std::string> local = crdt_spec_hash(json);
  if (!local.ok()) return local.take_error();
  if (*local == peer_hash) return {};
  std::string msg = "incompatible CRDT spec: local hash ";
  msg.append(*local);
  msg.append(", peer hash ");
  msg.append(peer_hash);
  return ww::Error::custom(std::move(msg));
}

}  // namespace ww::bridge
