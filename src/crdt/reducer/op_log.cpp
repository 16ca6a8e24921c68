#include "crdt/reducer/op_log.h"

#include <algorithm>

#include "format/json/json_writer.h"

namespace ww::crdt::reducer {
SortedBlocks<OpLog::Record>::Pos OpLog::lower_bound(const InternedDot& dot, const ReplicaTable& replicas) const {
  return records_.lower_bound([&](const Record& r) { return replicas.less(r.dot(), dot); });
}

bool OpLog::seen(const InternedDot& dot, const ReplicaTable& replicas) const {
  if (!compacted.empty()) {
    auto it = compacted.find(replicas.name(dot.replica));
    if (it != compacted.end() && dot.counter <= it->second) return true;
  }
  return find(dot, replicas) != nullptr;
}

const OpLog::Record* OpLog::find(const InternedDot& dot, const ReplicaTable& replicas) const {
  // Dots arrive mostly in ascending order: the last record first.
  if (records_.empty() || replicas.less(records_.back().dot(), dot)) return nullptr;
  auto p = lower_bound(dot, replicas);
  if (records_.at_end(p) || !(records_.at(p).dot() == dot)) return nullptr;
  return &records_.at(p);
}

void OpLog::insert(const InternedDot& dot, const Sha256Digest& fingerprint, const ReplicaTable& replicas) {
  Record r{dot.counter, dot.replica, kDigest, fingerprint};
  if (records_.empty() || replicas.less(records_.back().dot(), dot)) {
    records_.push_back(r);
    return;
  }
  records_.insert(lower_bound(dot, replicas), r);
}

void OpLog::erase(const InternedDot& dot, const ReplicaTable& replicas) {
  auto p = lower_bound(dot, replicas);
  if (!records_.at_end(p) && records_.at(p).dot() == dot) records_.erase(p);
}

void OpLog::push_back(const InternedDot& dot, const Sha256Digest& digest) {
  records_.push_back(Record{dot.counter, dot.replica, kDigest, digest});
}

void OpLog::push_back_text(const InternedDot& dot, std::string digits) {
  records_.push_back(Record{dot.counter, dot.replica, static_cast<std::uint32_t>(texts_.size()), {}});
  texts_.push_back(std::move(digits));
}

std::uint64_t OpLog::max_counter() const {
  // Records are ordered by counter first.
  std::uint64_t top = records_.empty() ? 0 : records_.back().counter;
  for (const auto& [replica, counter] : compacted) top = std::max(top, counter);
  return top;
}

void OpLog::append_fingerprint(const Record& record, std::string& out) const {
  if (record.text == kDigest) {
    char text[kSha256TextSize + 2];
    text[0] = '"';
    write_sha256_text(record.digest, text + 1);
    text[kSha256TextSize + 1] = '"';
    out.append(text, sizeof text);
    return;
  }
  json::append_str(std::string(kSha256Prefix) + texts_[record.text], out);
}

std::string OpLog::fingerprint_text(const Record& record) const {
  std::string out;
  if (record.text == kDigest) {
    append_sha256_text(record.digest, out);
  } else {
    out.append(kSha256Prefix);
    out.append(texts_[record.text]);
  }
  return out;
}

void OpLog::write_context(std::string& out, const ReplicaTable& replicas) const {
  write_context_json(
      compacted, records_, [&replicas](const Record& r, std::string& o) { replicas.write(r.dot(), o); }, out);
}

void OpLog::write_fingerprints(std::string& out, const ReplicaTable& replicas) const {
  out.push_back('[');
  bool first = true;
  for (const Record& r : records_) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('[');
    replicas.write(r.dot(), out);
    out.push_back(',');
    append_fingerprint(r, out);
    out.push_back(']');
  }
  out.push_back(']');
}

}  // namespace ww::crdt::reducer
