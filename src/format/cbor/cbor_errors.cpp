#include "format/cbor/cbor_errors.h"

#include <string>

#include "format/debug_text.h"

namespace ww::cbor {

Error io_eof() {
  return Error::format(R"(Io(Error { kind: UnexpectedEof, message: "failed to fill whole buffer" }))");
}

Error syntax(std::size_t offset) { return Error::format("Syntax(" + std::to_string(offset) + ")"); }

Error semantic_at(std::size_t offset, std::string_view message) {
  std::string text = "Semantic(Some(" + std::to_string(offset) + "), ";
  append_debug_str(message, text);
  text.push_back(')');
  return Error::format(std::move(text));
}

Error recursion_limit() { return Error::format("RecursionLimitExceeded"); }

Error finish_error(Error e) {
  if (e.kind() != Error::Kind::Custom) return e;
  std::string text = "Semantic(None, ";
  append_debug_str(e.message(), text);
  text.push_back(')');
  return Error::format(std::move(text));
}

}  // namespace ww::cbor
