#include "crdt/reducer/replica_table.h"

#include <charconv>
#include <cstring>

#include "crdt/invariant.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

ReplicaTable::ReplicaTable() { intern(kInitReplica); }

std::uint32_t ReplicaTable::intern(std::string_view name) {
  if (last_ != kNoReplica && names_[last_].text == name) return last_;
  auto it = by_name_.find(name);
  if (it != by_name_.end()) return last_ = it->second;
  const auto id = static_cast<std::uint32_t>(names_.size());
  if (id == kNoReplica) broken_invariant("too many replica identifiers");
  Name entry{std::string(name), {}};
  json::append_str(name, entry.json);
  names_.push_back(std::move(entry));
  by_name_.emplace(std::string(name), id);
  return last_ = id;
}

std::uint32_t ReplicaTable::find(std::string_view name) const {
  auto it = by_name_.find(name);
  return it == by_name_.end() ? kNoReplica : it->second;
}

void ReplicaTable::truncate(std::size_t n) {
  last_ = kNoReplica;
  while (names_.size() > n && names_.size() > 1) {
    by_name_.erase(names_.back().text);
    names_.pop_back();
  }
}

namespace {

char* put_text(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

char* put_number(char* p, std::uint64_t v) { return std::to_chars(p, p + 20, v).ptr; }

}  // namespace

char* ReplicaTable::put(const InternedDot& dot, char* p) const {
  p = put_text(p, "{\"counter\":");
  p = put_number(p, dot.counter);
  p = put_text(p, ",\"replica\":");
  p = put_text(p, json(dot.replica));
  *p++ = '}';
  return p;
}

char* ReplicaTable::put(const InternedElementId& id, char* p) const {
  p = put_text(p, "{\"dot\":{\"counter\":");
  p = put_number(p, id.counter);
  p = put_text(p, ",\"replica\":");
  p = put_text(p, json(id.replica));
  p = put_text(p, "},\"index\":");
  p = put_number(p, id.index);
  *p++ = '}';
  return p;
}

// A dot is written millions of times in a saved state: into a buffer on the
// stack, appended at once.
void ReplicaTable::write(const InternedDot& dot, std::string& out) const {
  if (!short_name(dot.replica)) {
    out.append("{\"counter\":");
    json::append_u64(dot.counter, out);
    out.append(",\"replica\":");
    out.append(json(dot.replica));
    out.push_back('}');
    return;
  }
  char buf[kMaxPut];
  out.append(buf, static_cast<std::size_t>(put(dot, buf) - buf));
}

void ReplicaTable::write(const InternedElementId& id, std::string& out) const {
  if (!short_name(id.replica)) {
    out.append("{\"dot\":");
    write(id.dot(), out);
    out.append(",\"index\":");
    json::append_u64(id.index, out);
    out.push_back('}');
    return;
  }
  char buf[kMaxPut];
  out.append(buf, static_cast<std::size_t>(put(id, buf) - buf));
}

}  // namespace ww::crdt::reducer
