// Reads a JSON document from arbitrary CBOR bytes both ways that the system
// has: into a JsonValue, and straight to JSON text as cbor_to_json does.
// Both must agree on the text or on the error; what reads must survive a
// CBOR round trip; every text must be valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"
#include "format/debug_text.h"
#include "format/json/json_value.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& a, const std::string& b = "") {
  std::fprintf(stderr, "%s\n  %s\n  %s\n", what, a.c_str(), b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto read = ww::cbor::read_json_value(bytes);
  auto direct = ww::cbor::to_json_text(bytes);
  if (!read.ok()) {
    const std::string error = read.error().text();
    if (direct.ok()) fail("only the direct conversion reads", error, *direct);
    if (direct.error().text() != error) fail("the errors differ", error, direct.error().text());
    if (!ww::is_valid_utf8(error)) fail("error text is not UTF-8", error);
    return 0;
  }
  const std::string text = ww::to_json_text(*read);
  if (!direct.ok()) fail("only the JsonValue road reads", text, direct.error().text());
  if (*direct != text) fail("the texts differ", text, *direct);
  if (!ww::is_valid_utf8(text)) fail("text is not UTF-8", text);

  std::string again_bytes;
  ww::cbor::write_json_value(*read, again_bytes);
  auto again = ww::cbor::read_json_value(again_bytes);
  if (!again.ok()) fail("written document does not read back", again.error().text());
  if (!(*again == *read)) fail("CBOR round trip changed the document", text);
  return 0;
}
