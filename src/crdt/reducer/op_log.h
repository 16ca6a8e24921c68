// The operations a document has seen: the compacted prefix of counters per
// replica, and every dot beyond it together with the fingerprint of its
// operation. The dots of the causal context and the keys of the fingerprint
// table are the same set in every document, so they are held once; a
// fingerprint is held as its 32 digest bytes and written as text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/reducer/causal_context.h"
#include "crdt/reducer/replica_table.h"
#include "crdt/reducer/sorted_blocks.h"
#include "crdt/sha256_text.h"

namespace ww::crdt::reducer {

class OpLog {
 public:
  struct Record {
    std::uint64_t counter = 0;
    std::uint32_t replica = 0;
    // kDigest: `digest` holds the fingerprint's bytes; otherwise the index of
    // its text among the texts kept as read (digits that are not lowercase hex).
    std::uint32_t text = kDigest;
    Sha256Digest digest{};

    InternedDot dot() const { return {counter, replica}; }
  };
  static constexpr std::uint32_t kDigest = UINT32_MAX;

  // Replica -> counter, in ascending byte order of the replicas.
  ReplicaCounters compacted;

  std::size_t size() const { return records_.size(); }
  const SortedBlocks<Record>& records() const { return records_; }

  // Within the replica's compacted prefix, or recorded.
  bool seen(const InternedDot& dot, const ReplicaTable& replicas) const;
  const Record* find(const InternedDot& dot, const ReplicaTable& replicas) const;
  // Records a dot that is not recorded yet.
  void insert(const InternedDot& dot, const Sha256Digest& fingerprint, const ReplicaTable& replicas);
  void erase(const InternedDot& dot, const ReplicaTable& replicas);
  // Appends a record whose dot sorts after every dot held (building in
  // order): its digest, or the 64 characters after "sha256:" of a
  // fingerprint whose digits are not lowercase hex.
  void push_back(const InternedDot& dot, const Sha256Digest& digest);
  void push_back_text(const InternedDot& dot, std::string digits);

  bool same_fingerprint(const Record& record, const Sha256Digest& fingerprint) const {
    return record.text == kDigest && record.digest == fingerprint;
  }
  // The largest counter anywhere, whatever its replica; 0 when empty.
  std::uint64_t max_counter() const;

  // Drops the records for which pred(record) holds; their number.
  template <class Pred>
  std::size_t erase_if(Pred&& pred) {
    return records_.erase_if(pred);
  }

  // {"compacted":{...},"dots":[...]}, each member left out when empty.
  void write_context(std::string& out, const ReplicaTable& replicas) const;
  // [[dot,"sha256:..."],...]
  void write_fingerprints(std::string& out, const ReplicaTable& replicas) const;
  // The fingerprint's JSON string, and its text.
  void append_fingerprint(const Record& record, std::string& out) const;
  std::string fingerprint_text(const Record& record) const;

 private:
  SortedBlocks<Record>::Pos lower_bound(const InternedDot& dot, const ReplicaTable& replicas) const;

  SortedBlocks<Record> records_;
  std::vector<std::string> texts_;  // the 64 characters after "sha256:"
};

}  // namespace ww::crdt::reducer
