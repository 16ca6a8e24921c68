// The CBOR reader's errors, in the structural form that peers compare:
//   Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" })
//   Syntax(<offset>)
//   Semantic(None, "<message>") / Semantic(Some(<offset>), "<message>")
//   RecursionLimitExceeded
// Record-shape errors travel as Error::custom while an item is read and
// take their Semantic(None, ...) form once, when the read ends.
#pragma once

#include <cstddef>
#include <string_view>

#include "format/result.h"

namespace ww::cbor {

// The input ends inside an item.
Error io_eof();
// A malformed item starting at `offset`.
Error syntax(std::size_t offset);
// A check the reader makes itself at `offset` ("expected bool").
Error semantic_at(std::size_t offset, std::string_view message);
Error recursion_limit();

// The final form of an error that ends a read: a record-shape error becomes
// Semantic(None, "<message in debug form>"); the others are already final.
Error finish_error(Error e);

}  // namespace ww::cbor
