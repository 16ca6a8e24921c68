// Arrays of operations exactly as this system writes them (write_crdt_op,
// joined by commas, no spaces), read by following the writer byte for byte.
// Operations travel between replicas in that form, so most texts a
// document applies are in it; reading them needs no general parser, and
// since each operation's text is then its written form, its fingerprint is
// taken over the text as it stands.
//
// Values are read in the forms Null, Bool, Int and Str, strings with no
// escapes but \" and \\. Any other text, and every fault, is refused
// without a message: the caller reads it with crdt_ops_from_json, which
// gives the same operations for every text accepted here and the errors
// for the rest.
#pragma once

#include <string_view>
#include <vector>

#include "crdt/reducer/crdt_ops.h"

namespace ww::crdt::reducer {

// Whether `text` is such an array; if so, its operations are in `ops` and
// the text of operation i is texts[i]. Both are cleared first.
bool read_written_ops(std::string_view text, std::vector<CrdtOp>& ops, std::vector<std::string_view>& texts);

// Mutations in the same form, with JSON whitespace allowed between tokens
// ("kind" first, the fields in the order above, `after` given): the form
// callers build. The same refusal of anything else, for
// crdt_mutations_from_json to read.
bool read_plain_mutations(std::string_view text, std::vector<CrdtMutation>& mutations);

}  // namespace ww::crdt::reducer
