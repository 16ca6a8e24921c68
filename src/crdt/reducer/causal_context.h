// The operations a document has seen: a contiguous prefix of counters per
// replica, and the dots seen beyond it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "crdt/reducer/dot.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

// Replica -> counter: a compacted prefix, or the frontier of a compaction.
using ReplicaCounters = std::map<std::string, std::uint64_t, std::less<>>;

struct CausalContext {
  ReplicaCounters compacted;
  std::set<Dot> dots;

  // The largest counter anywhere in the context, whatever its replica; 0 when empty.
  std::uint64_t max_counter_any() const;
  // Within the replica's compacted prefix (an absent replica counts as 0), or in `dots`.
  bool seen(const Dot& dot) const;

  friend bool operator==(const CausalContext&, const CausalContext&) = default;
};

// True for every dot of "$init"; otherwise when `frontier` holds the dot's
// replica with a counter at least the dot's. An absent replica covers only
// counter 0.
bool dot_covered(const Dot& dot, const ReplicaCounters& frontier);

// {"compacted":{...},"dots":[...]}, each member left out when empty.
void write_causal_context(const CausalContext& context, std::string& out);

// The same form for any list of dots: `write_dot(d, out)` writes one.
template <class Dots, class WriteDot>
void write_context_json(const ReplicaCounters& compacted, const Dots& dots, WriteDot write_dot, std::string& out) {
  out.push_back('{');
  if (!compacted.empty()) {
    out.append("\"compacted\":{");
    bool first = true;
    for (const auto& [replica, counter] : compacted) {
      if (!first) out.push_back(',');
      first = false;
      json::append_str(replica, out);
      out.push_back(':');
      json::append_u64(counter, out);
    }
    out.push_back('}');
  }
  if (!dots.empty()) {
    if (!compacted.empty()) out.push_back(',');
    out.append("\"dots\":[");
    bool first = true;
    for (const auto& d : dots) {
      if (!first) out.push_back(',');
      first = false;
      write_dot(d, out);
    }
    out.push_back(']');
  }
  out.push_back('}');
}

}  // namespace ww::crdt::reducer
