#include "crdt/reducer/replica_table.h"

#include "crdt/invariant.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

ReplicaTable::ReplicaTable() { intern(kInitReplica); }

std::uint32_t ReplicaTable::intern(std::string_view name) {
  auto it = by_name_.find(name);
  if (it != by_name_.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(names_.size());
  if (id == kNoReplica) broken_invariant("too many replica identifiers");
  Name entry{std::string(name), {}};
  json::append_str(name, entry.json);
  names_.push_back(std::move(entry));
  by_name_.emplace(std::string(name), id);
  return id;
}

std::uint32_t ReplicaTable::find(std::string_view name) const {
  auto it = by_name_.find(name);
  return it == by_name_.end() ? kNoReplica : it->second;
}

void ReplicaTable::truncate(std::size_t n) {
  while (names_.size() > n && names_.size() > 1) {
    by_name_.erase(names_.back().text);
    names_.pop_back();
  }
}

void ReplicaTable::write(const InternedDot& dot, std::string& out) const {
  out.append("{\"counter\":");
  json::append_u64(dot.counter, out);
  out.append(",\"replica\":");
  out.append(json(dot.replica));
  out.push_back('}');
}

void ReplicaTable::write(const InternedElementId& id, std::string& out) const {
  out.append("{\"dot\":{\"counter\":");
  json::append_u64(id.counter, out);
  out.append(",\"replica\":");
  out.append(json(id.replica));
  out.append("},\"index\":");
  json::append_u64(id.index, out);
  out.push_back('}');
}

}  // namespace ww::crdt::reducer
