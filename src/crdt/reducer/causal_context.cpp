#include "crdt/reducer/causal_context.h"

#include <algorithm>

#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

std::uint64_t CausalContext::max_counter_any() const {
  std::uint64_t max = 0;
  for (const Dot& d : dots) max = std::max(max, d.counter);
  for (const auto& [replica, counter] : compacted) max = std::max(max, counter);
  return max;
}

bool CausalContext::seen(const Dot& dot) const {
  auto it = compacted.find(dot.replica);
  std::uint64_t prefix = it != compacted.end() ? it->second : 0;
  return dot.counter <= prefix || dots.contains(dot);
}

bool dot_covered(const Dot& dot, const ReplicaCounters& frontier) {
  if (dot.replica == kInitReplica) return true;
  auto it = frontier.find(dot.replica);
  if (it == frontier.end()) return dot.counter == 0;
  return dot.counter <= it->second;
}

void write_causal_context(const CausalContext& context, std::string& out) {
  out.push_back('{');
  if (!context.compacted.empty()) {
    out.append("\"compacted\":{");
    bool first = true;
    for (const auto& [replica, counter] : context.compacted) {
      if (!first) out.push_back(',');
      first = false;
      json::append_str(replica, out);
      out.push_back(':');
      json::append_u64(counter, out);
    }
    out.push_back('}');
  }
  if (!context.dots.empty()) {
    if (!context.compacted.empty()) out.push_back(',');
    out.append("\"dots\":[");
    bool first = true;
    for (const Dot& d : context.dots) {
      if (!first) out.push_back(',');
      first = false;
      write_dot(d, out);
    }
    out.push_back(']');
  }
  out.push_back('}');
}

}  // namespace ww::crdt::reducer
