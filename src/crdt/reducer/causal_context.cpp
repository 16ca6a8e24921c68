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
  write_context_json(context.compacted, context.dots, [](const Dot& d, std::string& o) { write_dot(d, o); }, out);
}

}  // namespace ww::crdt::reducer
