#include "crdt/reducer/document_json.h"

#include <vector>

#include "crdt/reducer/document_compact.h"
#include "crdt/reducer/ops_json.h"
#include "crdt/reducer/ops_written_read.h"
#include "value/value_json.h"

namespace ww::crdt::reducer {

Result<std::string> mutate_json(CrdtDocument& doc, std::string_view mutations_json) {
  std::vector<CrdtMutation> plain;
  if (read_plain_mutations(mutations_json, plain)) return doc.mutate(plain);
  WW_TRY_ASSIGN(std::vector<CrdtMutation> mutations, crdt_mutations_from_json(mutations_json));
  return doc.mutate(mutations);
}

Result<std::string> apply_json(CrdtDocument& doc, std::string_view ops_json) {
  std::vector<CrdtOp> written;
  std::vector<std::string_view> texts;
  if (read_written_ops(ops_json, written, texts)) return doc.apply_written(written, texts);
  WW_TRY_ASSIGN(std::vector<CrdtOp> ops, crdt_ops_from_json(ops_json));
  return doc.apply(ops);
}

Result<std::string> member_key_json(const CrdtDocument& doc, std::string_view path_json, std::string_view value_json) {
  WW_TRY_ASSIGN(CrdtPath path, crdt_path_from_json(path_json));
  WW_TRY_ASSIGN(Value value, value_from_json_text(value_json));
  return doc.member_key(path, value);
}

Result<std::uint64_t> compact_json(CrdtDocument& doc, std::string_view frontier_json) {
  WW_TRY_ASSIGN(ReplicaCounters frontier, frontier_from_json(frontier_json));
  return doc.compact(frontier);
}

}  // namespace ww::crdt::reducer
