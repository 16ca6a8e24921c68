#include "crdt/reducer/ops_fast_read.h"
#include "crdt/reducer/ops_json.h"
#include "crdt/reducer/ops_read.h"
#include "format/json/text_de.h"

namespace ww::crdt::reducer {

// Arrays of operations and mutations are read in one pass when every record
// has its tag first; any other text is read again in two steps, which give
// the same records and every error with its exact text and place.

Result<std::vector<CrdtOp>> crdt_ops_from_json(std::string_view text) {
  auto one_pass = json::read_whole(text, false, [](json::TextDe& de) {
    return rec::read_list<CrdtOp>(de, [](auto& d) { return read_crdt_op_one_pass(d); });
  });
  if (one_pass.ok()) return one_pass;
  return json::read_whole(text, false, [](json::TextDe& de) {
    return rec::read_list<CrdtOp>(de, [](auto& d) { return read_crdt_op(d); });
  });
}

Result<std::vector<CrdtMutation>> crdt_mutations_from_json(std::string_view text) {
  auto one_pass = json::read_whole(text, false, [](json::TextDe& de) {
    return rec::read_list<CrdtMutation>(de, [](auto& d) { return read_crdt_mutation_one_pass(d); });
  });
  if (one_pass.ok()) return one_pass;
  return json::read_whole(text, false, [](json::TextDe& de) {
    return rec::read_list<CrdtMutation>(de, [](auto& d) { return read_crdt_mutation(d); });
  });
}

Result<CrdtPath> crdt_path_from_json(std::string_view text) {
  return json::read_whole(text, false, [](json::TextDe& de) { return read_crdt_path(de); });
}

}  // namespace ww::crdt::reducer
