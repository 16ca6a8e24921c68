// Restores a CRDT document from an arbitrary saved state. The first byte
// chooses the specification (crdt_fixtures.h); the rest is the state text,
// in which "#h" stands for the specification's hash so that the checks after
// the hash can be reached. What restores saves back to a state that restores
// to the same state, value and counter (doubles within the JSON reader's
// rounding); every error text is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crdt/crdt_spec.h"
#include "crdt/reducer/document.h"
#include "crdt_fixtures.h"
#include "format/debug_text.h"
#include "fuzz_support.h"

namespace {

std::string with_hash(std::string text, const std::string& hash) {
  for (std::size_t at = text.find("#h"); at != std::string::npos; at = text.find("#h", at + hash.size())) {
    text.replace(at, 2, hash);
  }
  return text;
}

std::string outcome(const ww::Result<std::string>& r) { return r.ok() ? *r : "error: " + r.error().text(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ww::crdt::reducer::CrdtDocument;
  if (size == 0) return 0;
  const ww::fuzz::CrdtFixture& fixture = ww::fuzz::crdt_fixture(data[0]);
  auto spec = ww::crdt::CrdtSpec::from_json(fixture.spec);
  WW_FUZZ_CHECK(spec.ok(), "fixture specification does not read", fixture.spec);
  auto hash = ww::crdt::CrdtSpec::hash(*spec);
  WW_FUZZ_CHECK(hash.ok(), "fixture specification has no hash");
  const std::string state = with_hash(ww::fuzz::as_text(ww::fuzz::as_bytes(data + 1, size - 1)), *hash);

  auto doc = CrdtDocument::from_state(fixture.spec, state, "a");
  if (!doc.ok()) {
    WW_FUZZ_CHECK(ww::is_valid_utf8(doc.error().text()), "error text is not UTF-8", doc.error().text());
    return 0;
  }
  const std::string saved = doc->state();
  const std::string value = outcome(doc->value_json());
  auto again = CrdtDocument::from_state(fixture.spec, saved, "b");
  WW_FUZZ_CHECK(again.ok(), "a saved state does not restore", saved, again.error().text());
  WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(again->state(), saved), "restoring a saved state changes it", saved,
                again->state());
  WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(outcome(again->value_json()), value),
                "restoring a saved state changes the value", value, outcome(again->value_json()));
  WW_FUZZ_CHECK(again->local_counter() == doc->local_counter(), "restoring a saved state changes the counter");
  return 0;
}
