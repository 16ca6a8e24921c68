// Reads a model value from arbitrary JSON. The text and bytes readers agree
// on valid UTF-8 and the bytes reader refuses anything else; what reads
// writes back to text that reads to the same value (doubles within the
// reader's rounding), and goes through a JSON document unchanged; an error
// text is valid UTF-8 and ends with its position.
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "fuzz_support.h"
#include "value/value_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = ww::fuzz::as_bytes(data, size);
  auto from_bytes = ww::value_from_json_bytes(bytes);
  if (!ww::is_valid_utf8(bytes)) {
    WW_FUZZ_CHECK(!from_bytes.ok(), "bytes that are not UTF-8 read as a value", ww::value_to_json(*from_bytes));
  } else {
    auto from_text = ww::value_from_json_text(bytes);
    WW_FUZZ_CHECK(from_text.ok() == from_bytes.ok(), "the text and bytes readers disagree");
    if (from_text.ok()) {
      WW_FUZZ_CHECK(*from_text == *from_bytes, "the text and bytes readers read different values");
    } else {
      WW_FUZZ_CHECK(from_text.error().text() == from_bytes.error().text(), "the readers' errors differ",
            from_text.error().text(), from_bytes.error().text());
    }
  }
  if (!from_bytes.ok()) {
    const std::string text = from_bytes.error().text();
    WW_FUZZ_CHECK(ww::is_valid_utf8(text), "error text is not UTF-8", text);
    // A kind name other than "Null" as the whole text is the one error
    // that carries no position.
    WW_FUZZ_CHECK(ww::fuzz::ends_with_position(text) || text == "invalid type: unit variant, expected newtype variant",
                  "error text has no position", text);
    return 0;
  }

  const std::string once = ww::value_to_json(*from_bytes);
  auto again = ww::value_from_json_text(once);
  WW_FUZZ_CHECK(again.ok(), "written value does not read back", once, again.ok() ? "" : again.error().text());
  WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(ww::value_to_json(*again), once), "round trip changed the value",
                once, ww::value_to_json(*again));

  // The road of values inside messages and snapshots.
  auto via_document = ww::value_from_json_value(ww::value_to_json_value(*from_bytes));
  WW_FUZZ_CHECK(via_document.ok(), "value does not read back from its JSON document",
        via_document.ok() ? "" : via_document.error().text());
  WW_FUZZ_CHECK(ww::value_to_json(*via_document) == once, "JSON document road changed the value", once,
        ww::value_to_json(*via_document));
  WW_FUZZ_CHECK(ww::to_json_text(ww::value_to_json_value(*from_bytes)) == once, "the two writers differ", once,
        ww::to_json_text(ww::value_to_json_value(*from_bytes)));
  return 0;
}
