#include "crdt/reducer/dot.h"

#include "format/debug_text.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {

void write_dot(const Dot& dot, std::string& out) {
  out.append("{\"counter\":");
  json::append_u64(dot.counter, out);
  out.append(",\"replica\":");
  json::append_str(dot.replica, out);
  out.push_back('}');
}

void write_element_id(const ElementId& id, std::string& out) {
  out.append("{\"dot\":");
  write_dot(id.dot, out);
  out.append(",\"index\":");
  json::append_u64(id.index, out);
  out.push_back('}');
}

void append_dot_debug(const Dot& dot, std::string& out) {
  out.append("Dot { counter: ");
  out.append(std::to_string(dot.counter));
  out.append(", replica: ");
  append_debug_str(dot.replica, out);
  out.append(" }");
}

std::string dot_debug(const Dot& dot) {
  std::string out;
  append_dot_debug(dot, out);
  return out;
}

void append_element_id_debug(const ElementId& id, std::string& out) {
  out.append("ElementId { dot: ");
  append_dot_debug(id.dot, out);
  out.append(", index: ");
  out.append(std::to_string(id.index));
  out.append(" }");
}

std::string element_id_debug(const ElementId& id) {
  std::string out;
  append_element_id_debug(id, out);
  return out;
}

}  // namespace ww::crdt::reducer
