// Operation identifiers (Dot) and sequence element identifiers (ElementId):
// their order, compact JSON form and the debug form that messages quote.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace ww::crdt::reducer {

// The replica of the dot {0, "$init"} under which a document's initial
// value is merged; no document or operation takes it.
inline constexpr std::string_view kInitReplica = "$init";

// Ordered by counter, then replica bytewise (a proper prefix first).
struct Dot {
  std::uint64_t counter = 0;
  std::string replica;

  friend auto operator<=>(const Dot&, const Dot&) = default;
  friend bool operator==(const Dot&, const Dot&) = default;
};

// Ordered by dot, then index.
struct ElementId {
  Dot dot;
  std::uint32_t index = 0;

  friend auto operator<=>(const ElementId&, const ElementId&) = default;
  friend bool operator==(const ElementId&, const ElementId&) = default;
};

// {"counter":5,"replica":"a"}
void write_dot(const Dot& dot, std::string& out);
// {"dot":{"counter":5,"replica":"a"},"index":0}
void write_element_id(const ElementId& id, std::string& out);

// Dot { counter: 0, replica: "$init" }
void append_dot_debug(const Dot& dot, std::string& out);
std::string dot_debug(const Dot& dot);
// ElementId { dot: Dot { counter: 3, replica: "a" }, index: 1 }
void append_element_id_debug(const ElementId& id, std::string& out);
std::string element_id_debug(const ElementId& id);

}  // namespace ww::crdt::reducer
