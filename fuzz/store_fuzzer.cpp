// Runs a store through calls taken from the input:
//   <initial value JSON> ( NUL <command byte> <argument> )*
// with 'a' apply (the argument is a patch), 'A' apply to an id never
// hosted, 'm' mutate (the argument is a value). A second store mirrors the
// first by applying every patch that the first accepted or made.
// Oracles: a refused call leaves value and revision as they were; an
// accepted patch sets the revision it carries; a mutation takes exactly the
// next revision; the mirror always shows the same snapshot (doubles within
// the JSON reader's rounding); an unknown id
// changes nothing; every error text is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diff/patch_json.h"
#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "fuzz_support.h"
#include "store/store.h"

namespace {

constexpr ww::ModelId kId{1};

std::uint64_t revision_of(const std::string& snapshot) {
  auto parsed = ww::parse_json_text(snapshot);
  const ww::JsonValue* rev = parsed.ok() ? parsed->find("rev") : nullptr;
  WW_FUZZ_CHECK(rev != nullptr && rev->is(ww::JsonValue::Kind::U64), "snapshot without a revision", snapshot);
  return rev->as_u64();
}

class Run {
 public:
  explicit Run(const std::string& value) {
    auto id = store_.host("T", value);
    if (!id.ok()) {
      WW_FUZZ_CHECK(ww::is_valid_utf8(id.error().text()), "error text is not UTF-8", id.error().text());
      id = store_.host("T", "\"Null\"");
    }
    WW_FUZZ_CHECK(id.ok() && *id == 1, "the first hosted model is not 1");
    auto mirrored = mirror_.host("T", snapshot_value());
    WW_FUZZ_CHECK(mirrored.ok(), "a hosted value does not host again");
  }

  void command(char cmd, const std::string& arg) {
    const std::string before = snapshot();
    switch (cmd) {
      case 'a': apply(arg, before); break;
      case 'A': {
        auto known = store_.apply(ww::ModelId{2}, arg);
        WW_FUZZ_CHECK(!known.ok() || !*known, "an id never hosted is known");
        WW_FUZZ_CHECK(snapshot() == before, "applying to another id changed the model", before, snapshot());
        break;
      }
      case 'm': mutate(arg, before); break;
      default: return;
    }
    // A double passes through the patch text, within the JSON reader's rounding.
    WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(*mirror_.snapshot(kId), snapshot()), "the mirror differs",
                  snapshot(), *mirror_.snapshot(kId));
  }

 private:
  std::string snapshot() const { return *store_.snapshot(kId); }

  // The value member of the snapshot, as JSON text.
  std::string snapshot_value() const {
    auto parsed = ww::parse_json_text(snapshot());
    return ww::to_json_text(*parsed->find("value"));
  }

  void apply(const std::string& patch, const std::string& before) {
    auto known = store_.apply(kId, patch);
    if (!known.ok()) {
      WW_FUZZ_CHECK(ww::is_valid_utf8(known.error().text()), "error text is not UTF-8", known.error().text());
      WW_FUZZ_CHECK(snapshot() == before, "a refused patch changed the model", before, snapshot());
      return;
    }
    WW_FUZZ_CHECK(*known, "a hosted id is unknown");
    auto read = ww::patch_from_json_text(patch);
    WW_FUZZ_CHECK(read.ok() && revision_of(snapshot()) == read->rev, "an applied patch did not set its revision",
                  patch, snapshot());
    auto mirrored = mirror_.apply(kId, patch);
    WW_FUZZ_CHECK(mirrored.ok() && *mirrored, "the mirror refuses an accepted patch", patch);
  }

  void mutate(const std::string& value, const std::string& before) {
    auto made = store_.mutate(kId, value);
    if (!made.ok()) {
      WW_FUZZ_CHECK(ww::is_valid_utf8(made.error().text()), "error text is not UTF-8", made.error().text());
      WW_FUZZ_CHECK(snapshot() == before, "a refused mutation changed the model", before, snapshot());
      return;
    }
    WW_FUZZ_CHECK(made->has_value(), "a hosted id is unknown");
    const std::uint64_t old_rev = revision_of(before);
    const std::uint64_t new_rev = revision_of(snapshot());
    WW_FUZZ_CHECK(new_rev > old_rev && new_rev - old_rev == 1, "a mutation did not take the next revision",
                  before, snapshot());
    auto mirrored = mirror_.apply(kId, **made);
    WW_FUZZ_CHECK(mirrored.ok() && *mirrored, "the mirror refuses the patch of a mutation", **made);
  }

  ww::Store store_;
  ww::Store mirror_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = ww::fuzz::split(ww::fuzz::as_bytes(data, size), '\0');
  Run run(ww::fuzz::as_text(pieces[0]));
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    run.command(pieces[i][0], ww::fuzz::as_text(pieces[i].substr(1)));
  }
  return 0;
}
