// Reads a JSON document from arbitrary MessagePack bytes both ways that the
// system has: into a JsonValue, and straight to JSON text as msgpack_to_json
// does. Both must agree on the text or on the error; what reads must
// survive a MessagePack round trip; every text must be valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "format/msgpack/msgpack_json.h"
#include "format/msgpack/transcode.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\n  %s\n  %s\n", what, a.c_str(), b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto read = ww::msgpack::read_json_value(bytes);
  auto direct = ww::msgpack::to_json_text(bytes);
  if (!read.ok()) {
    const std::string text = read.error().text();
    if (direct.ok()) fail("only the direct conversion reads", text, *direct);
    if (direct.error().text() != text) fail("the errors differ", text, direct.error().text());
    if (!ww::is_valid_utf8(text)) fail("error text is not UTF-8", text, "");
    return 0;
  }
  const std::string text = ww::to_json_text(*read);
  if (!direct.ok()) fail("only the JsonValue road reads", text, direct.error().text());
  if (*direct != text) fail("the texts differ", text, *direct);
  if (!ww::is_valid_utf8(text)) fail("text is not UTF-8", text, "");

  std::string again_bytes;
  ww::msgpack::write_json_value(*read, again_bytes);
  auto again = ww::msgpack::read_json_value(again_bytes);
  if (!again.ok()) fail("written document does not read back", again.error().text(), "");
  if (!(*again == *read)) fail("round trip changed the document", text, ww::to_json_text(*again));
  return 0;
}
