// Reads a patch, and a bare list of patch operations, from arbitrary JSON.
// The text and bytes readers agree on valid UTF-8, and no bytes that are
// not UTF-8 reach a patch read from bytes; what reads writes back to text
// that reads to the same patch (doubles within the reader's rounding), by
// way of a parsed JSON document too; an error text is valid UTF-8 and ends
// with its position.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diff/patch_json.h"
#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "fuzz_support.h"

namespace {

void check_error(const ww::Error& error) {
  const std::string text = error.text();
  WW_FUZZ_CHECK(ww::is_valid_utf8(text), "error text is not UTF-8", text);
  WW_FUZZ_CHECK(ww::fuzz::ends_with_position(text), "error text has no position", text);
}

void check_patch(std::string_view bytes) {
  auto from_bytes = ww::patch_from_json_bytes(bytes);
  if (!ww::is_valid_utf8(bytes)) {
    // Members that a patch ignores are skipped unread, so bytes that are not
    // UTF-8 may stand there; none may reach the patch.
    WW_FUZZ_CHECK(!from_bytes.ok() || ww::is_valid_utf8(ww::patch_to_json(*from_bytes)),
                  "bytes that are not UTF-8 reached a patch", ww::patch_to_json(*from_bytes));
  } else {
    auto from_text = ww::patch_from_json_text(bytes);
    WW_FUZZ_CHECK(from_text.ok() == from_bytes.ok(), "the text and bytes readers disagree");
    if (from_text.ok()) {
      WW_FUZZ_CHECK(ww::patch_to_json(*from_text) == ww::patch_to_json(*from_bytes),
                    "the text and bytes readers read different patches");
    } else {
      WW_FUZZ_CHECK(from_text.error().text() == from_bytes.error().text(), "the readers' errors differ",
                    from_text.error().text(), from_bytes.error().text());
    }
  }
  if (!from_bytes.ok()) return check_error(from_bytes.error());

  const std::string once = ww::patch_to_json(*from_bytes);
  auto again = ww::patch_from_json_text(once);
  WW_FUZZ_CHECK(again.ok(), "written patch does not read back", once, again.error().text());
  WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(ww::patch_to_json(*again), once), "round trip changed the patch",
                once, ww::patch_to_json(*again));

  // The road of patches inside messages.
  auto document = ww::parse_json_text(once);
  WW_FUZZ_CHECK(document.ok(), "written patch is not JSON", once);
  auto via_document = ww::patch_from_json_value(*document);
  WW_FUZZ_CHECK(via_document.ok(), "patch does not read back from its JSON document", once,
                via_document.error().text());
  WW_FUZZ_CHECK(ww::patch_to_json(*via_document) == ww::patch_to_json(*again), "the two roads read different patches",
                ww::patch_to_json(*again), ww::patch_to_json(*via_document));
}

// The operations list of a proposal.
void check_ops(const std::string& text) {
  auto ops = ww::ops_from_json_text(text);
  if (!ops.ok()) return check_error(ops.error());
  std::string once;
  ww::write_ops_json(*ops, once);
  auto again = ww::ops_from_json_text(once);
  WW_FUZZ_CHECK(again.ok(), "written operations do not read back", once, again.error().text());
  std::string twice;
  ww::write_ops_json(*again, twice);
  WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(twice, once), "round trip changed the operations", once, twice);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = ww::fuzz::as_bytes(data, size);
  check_patch(bytes);
  check_ops(ww::fuzz::as_text(bytes));
  return 0;
}
