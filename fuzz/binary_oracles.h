// The oracles that the MessagePack and CBOR targets share; each target
// names its format's functions and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "fuzz_support.h"

namespace ww::fuzz {

// Reads arbitrary bytes with `read`; an error must be valid UTF-8 (it
// becomes a Python str), and whatever reads must write back with `write`
// to bytes that read again and write to the same bytes.
template <class Read, class Write>
int check_round_trip(std::string_view bytes, Read read, Write write) {
  auto first = read(bytes);
  if (!first.ok()) {
    WW_FUZZ_CHECK(is_valid_utf8(first.error().text()), "error text is not UTF-8", first.error().text());
    return 0;
  }
  std::string once;
  write(*first, once);
  auto again = read(once);
  WW_FUZZ_CHECK(again.ok(), "what was written does not read back", again.error().text());
  std::string twice;
  write(*again, twice);
  WW_FUZZ_CHECK(once == twice, "writing what was read back changed the bytes");
  return 0;
}

// JSON text to a binary format both ways that the system has: through a
// parsed JsonValue written by `write`, and in one pass by `direct`. Both
// must give the same bytes or the same error.
template <class Direct, class Write>
int check_json_text_to_binary(std::string_view text, Direct direct, Write write) {
  auto parsed = parse_json_text(text);
  auto one_pass = direct(text);
  WW_FUZZ_CHECK(parsed.ok() == one_pass.ok(), "only one road reads",
                parsed.ok() ? one_pass.error().text() : parsed.error().text());
  if (!parsed.ok()) {
    WW_FUZZ_CHECK(parsed.error().text() == one_pass.error().text(), "the errors differ", parsed.error().text(),
                  one_pass.error().text());
    return 0;
  }
  std::string bytes;
  write(*parsed, bytes);
  WW_FUZZ_CHECK(bytes == *one_pass, "the bytes differ");
  return 0;
}

// A binary document to JSON both ways that the system has: into a
// JsonValue by `read`, and straight to JSON text by `direct`. Both must
// agree on the text or on the error; every text must be valid UTF-8; what
// reads must survive a round trip through `write`.
template <class Read, class Direct, class Write>
int check_binary_to_json(std::string_view bytes, Read read, Direct direct, Write write) {
  auto tree = read(bytes);
  auto one_pass = direct(bytes);
  if (!tree.ok()) {
    const std::string error = tree.error().text();
    WW_FUZZ_CHECK(!one_pass.ok(), "only the direct conversion reads", error, *one_pass);
    WW_FUZZ_CHECK(one_pass.error().text() == error, "the errors differ", error, one_pass.error().text());
    WW_FUZZ_CHECK(is_valid_utf8(error), "error text is not UTF-8", error);
    return 0;
  }
  const std::string text = to_json_text(*tree);
  WW_FUZZ_CHECK(one_pass.ok(), "only the JsonValue road reads", text, one_pass.error().text());
  WW_FUZZ_CHECK(*one_pass == text, "the texts differ", text, *one_pass);
  WW_FUZZ_CHECK(is_valid_utf8(text), "text is not UTF-8", text);

  std::string again_bytes;
  write(*tree, again_bytes);
  auto again = read(again_bytes);
  WW_FUZZ_CHECK(again.ok(), "written document does not read back", again.error().text());
  WW_FUZZ_CHECK(*again == *tree, "round trip changed the document", text, to_json_text(*again));
  return 0;
}

}  // namespace ww::fuzz
