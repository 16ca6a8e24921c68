// Runs a CRDT document through calls taken from the input:
//   <spec byte> <initial value JSON> ( NUL <command byte> <argument> )*
// The spec byte chooses a specification (crdt_fixtures.h); an initial value
// that does not fit gives way to the fixture's own. Commands: 'm' mutate,
// 'a' apply, 'c' compact, 'k' member_key (the path, \x01, the value), 'r'
// restore the saved state under the replica named by the argument. Every
// call runs on two documents in step, one materialising incrementally and
// one in whole; they must agree on every result.
// Oracles: a refused call leaves state, value and counter as they were; an
// accepted one leaves a state that restores to the same state and value
// (doubles within the JSON reader's rounding); the effect's patch turns the
// value before into the value after; the operations that mutate made
// (where their text reads back exactly), applied to the document as it was
// before, give the same state; applying the same operations again, or
// compacting with the same frontier again, changes nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_json.h"
#include "crdt/reducer/ops_json.h"
#include "crdt_fixtures.h"
#include "diff/apply.h"
#include "diff/patch_json.h"
#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "fuzz_support.h"
#include "value/value_json.h"

namespace {

using ww::crdt::reducer::CrdtDocument;
using ww::crdt::reducer::MutateOutcome;
using ww::fuzz::fail;

constexpr std::string_view kNothingApplied = R"({"patch":{"rev":0,"ops":[]},"deltas":[],"applied":0})";

template <class T>
std::string outcome(const ww::Result<T>& r) {
  if (!r.ok()) return "error: " + r.error().text();
  if constexpr (std::is_same_v<T, std::string>) {
    return *r;
  } else {
    return std::to_string(*r);
  }
}

// What a caller can see of a document.
struct Seen {
  std::string state;
  std::string value;
  std::uint64_t counter;
  bool operator==(const Seen&) const = default;
};

Seen seen(const CrdtDocument& doc) { return {doc.state(), outcome(doc.value_json()), doc.local_counter()}; }

const ww::JsonValue& member(const ww::JsonValue& object, std::string_view name, const std::string& text) {
  const ww::JsonValue* found = object.is(ww::JsonValue::Kind::Object) ? object.find(name) : nullptr;
  if (found == nullptr) fail("result lacks a member", name, text);
  return *found;
}

// The effect's patch must turn the value before into the value after.
void check_effect_patch(const ww::JsonValue& effect, const std::string& before, const std::string& after) {
  auto patch = ww::patch_from_json_value(member(effect, "patch", before));
  WW_FUZZ_CHECK(patch.ok(), "effect patch does not read", ww::to_json_text(effect), patch.error().text());
  auto value = ww::value_from_json_text(before);
  auto expected = ww::value_from_json_text(after);
  if (!value.ok() || !expected.ok()) {
    WW_FUZZ_CHECK(!value.ok() && !expected.ok(), "a change made the value (un)materialisable", before, after);
    return;
  }
  auto applied = ww::diff::apply(*value, patch->ops);
  WW_FUZZ_CHECK(applied.ok(), "effect patch does not apply", ww::to_json_text(effect), applied.error().text());
  WW_FUZZ_CHECK(*value == *expected, "effect patch does not give the value after", ww::to_json_text(effect),
                after);
}

class Run {
 public:
  Run(std::string_view spec, CrdtDocument fast, CrdtDocument whole)
      : spec_(spec), fast_(std::move(fast)), whole_(std::move(whole)) {
    whole_.set_whole_materialization(true);
  }

  void command(char cmd, const std::string& arg) {
    const Seen before = seen(fast_);
    WW_FUZZ_CHECK(seen(whole_) == before, "the two documents drifted apart", before.state, whole_.state());
    std::string result;
    std::string made_ops;
    bool ok = false;
    switch (cmd) {
      case 'm': ok = mutate(arg, result, made_ops); break;
      case 'a': ok = call(result, [&](CrdtDocument& d) { return ww::crdt::reducer::apply_json(d, arg); }); break;
      case 'c': ok = call(result, [&](CrdtDocument& d) { return ww::crdt::reducer::compact_json(d, arg); }); break;
      case 'k': {
        const std::size_t cut = arg.find('\x01');
        const std::string path = arg.substr(0, cut);
        const std::string value = cut == std::string::npos ? std::string("\"Null\"") : arg.substr(cut + 1);
        call(result, [&](CrdtDocument& d) { return ww::crdt::reducer::member_key_json(d, path, value); });
        WW_FUZZ_CHECK(seen(fast_) == before, "member_key changed the document", before.state, fast_.state());
        return;
      }
      case 'r': restore(arg, before); return;
      default: return;
    }
    const Seen after = seen(fast_);
    WW_FUZZ_CHECK(seen(whole_) == after, "the two documents end apart", after.state, whole_.state());
    if (!ok) {
      WW_FUZZ_CHECK(after == before, "a refused call changed the document", before.state, after.state);
      return;
    }
    check_restores(after);
    if (cmd == 'm') check_mutate(result, made_ops, before, after);
    if (cmd == 'a') check_apply(result, arg, before, after);
    if (cmd == 'c') {
      std::string again;
      WW_FUZZ_CHECK(call(again, [&](CrdtDocument& d) { return ww::crdt::reducer::compact_json(d, arg); }) &&
                        again == "0" && seen(fast_) == after,
                    "compacting again with the same frontier changed something", arg, again);
    }
  }

 private:
  // Runs `f` on both documents; they must give the same result. Whether it succeeded.
  template <class F>
  bool call(std::string& result, F f) {
    auto fast = f(fast_);
    auto whole = f(whole_);
    result = outcome(fast);
    WW_FUZZ_CHECK(outcome(whole) == result, "incremental and whole materialisation disagree", result,
                  outcome(whole));
    if (!fast.ok()) {
      WW_FUZZ_CHECK(ww::is_valid_utf8(result), "error text is not UTF-8", result);
    }
    return fast.ok();
  }

  // mutate_json on one document and its parts (read, mutate, write) on the
  // other, so that the operations are at hand exactly as they were made.
  bool mutate(const std::string& arg, std::string& result, std::string& made_ops) {
    auto fast = ww::crdt::reducer::mutate_json(fast_, arg);
    result = outcome(fast);
    std::string whole;
    auto mutations = ww::crdt::reducer::crdt_mutations_from_json(arg);
    auto made = mutations.ok() ? whole_.mutate(*mutations) : ww::Result<MutateOutcome>(mutations.take_error());
    if (made.ok()) {
      made_ops = "[";
      for (std::size_t i = 0; i < made->ops.size(); ++i) {
        if (i != 0) made_ops.push_back(',');
        ww::crdt::reducer::write_crdt_op(made->ops[i], made_ops);
      }
      made_ops.push_back(']');
      whole = "{\"ops\":" + made_ops + ",\"effect\":";
      ww::crdt::reducer::write_crdt_effect(made->effect, whole);
      whole.push_back('}');
    } else {
      whole = "error: " + made.error().text();
    }
    WW_FUZZ_CHECK(whole == result, "incremental and whole materialisation disagree", result, whole);
    WW_FUZZ_CHECK(ww::is_valid_utf8(result), "error text is not UTF-8", result);
    return fast.ok();
  }

  void check_restores(const Seen& now) {
    auto restored = CrdtDocument::from_state(spec_, now.state, "z");
    WW_FUZZ_CHECK(restored.ok(), "the saved state does not restore", now.state, restored.error().text());
    WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(restored->state(), now.state), "restoring changes the state",
                  now.state, restored->state());
    WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(outcome(restored->value_json()), now.value),
                  "restoring changes the value", now.value, outcome(restored->value_json()));
  }

  void check_mutate(const std::string& result, const std::string& ops, const Seen& before, const Seen& after) {
    auto parsed = ww::parse_json_text(result);
    WW_FUZZ_CHECK(parsed.ok(), "mutate result is not JSON", result);
    check_effect_patch(member(*parsed, "effect", result), before.value, after.value);
    // A double that the JSON reader does not read back exactly gives the
    // operation, once received, another value and fingerprint (by design):
    // the echo checks below only hold for operations that survive text.
    auto reread = ww::crdt::reducer::crdt_ops_from_json(ops);
    WW_FUZZ_CHECK(reread.ok(), "operations made by mutate do not read", ops, reread.error().text());
    std::string rewritten = "[";
    for (std::size_t i = 0; i < reread->size(); ++i) {
      if (i != 0) rewritten.push_back(',');
      ww::crdt::reducer::write_crdt_op((*reread)[i], rewritten);
    }
    rewritten.push_back(']');
    if (rewritten != ops) {
      WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(rewritten, ops), "operations made by mutate read back changed",
                    ops, rewritten);
      return;
    }
    // The same operations, received by the document as it was, give the same state.
    auto peer = CrdtDocument::from_state(spec_, before.state, "z");
    WW_FUZZ_CHECK(peer.ok(), "the state before does not restore", before.state);
    auto applied = ww::crdt::reducer::apply_json(*peer, ops);
    WW_FUZZ_CHECK(applied.ok(), "operations made by mutate do not apply", ops, applied.error().text());
    WW_FUZZ_CHECK(peer->state() == after.state, "operations made by mutate apply to another state", after.state,
                  peer->state());
    check_reapply(ops, after);
  }

  void check_apply(const std::string& result, const std::string& ops, const Seen& before, const Seen& after) {
    auto parsed = ww::parse_json_text(result);
    WW_FUZZ_CHECK(parsed.ok(), "apply result is not JSON", result);
    check_effect_patch(*parsed, before.value, after.value);
    check_reapply(ops, after);
  }

  void check_reapply(const std::string& ops, const Seen& after) {
    std::string again;
    WW_FUZZ_CHECK(call(again, [&](CrdtDocument& d) { return ww::crdt::reducer::apply_json(d, ops); }) &&
                      again == kNothingApplied,
                  "applying the same operations again did something", ops, again);
    WW_FUZZ_CHECK(seen(fast_) == after, "applying the same operations again changed the document", after.state,
                  fast_.state());
  }

  // Both documents restart from the saved state under another replica name;
  // the state holds no replica name, so it stays as it was.
  void restore(const std::string& replica, const Seen& before) {
    auto fast = CrdtDocument::from_state(spec_, before.state, replica);
    auto whole = CrdtDocument::from_state(spec_, before.state, replica);
    WW_FUZZ_CHECK(fast.ok() == whole.ok(), "restoring is not deterministic");
    if (!fast.ok()) return;
    WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(fast->state(), before.state), "restoring changes the state",
                  before.state, fast->state());
    fast_ = fast.take();
    whole_ = whole.take();
    whole_.set_whole_materialization(true);
  }

  std::string_view spec_;
  CrdtDocument fast_;
  CrdtDocument whole_;
};

std::optional<Run> start(const ww::fuzz::CrdtFixture& fixture, const std::string& value) {
  for (const std::string_view initial : {std::string_view(value), fixture.value}) {
    auto fast = CrdtDocument::create(fixture.spec, initial, "a");
    if (!fast.ok()) continue;
    auto whole = CrdtDocument::create(fixture.spec, initial, "a");
    WW_FUZZ_CHECK(whole.ok(), "construction is not deterministic");
    return Run(fixture.spec, fast.take(), whole.take());
  }
  fail("the fixture's own value does not fit", fixture.value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto pieces = ww::fuzz::split(ww::fuzz::as_bytes(data + 1, size - 1), '\0');
  std::optional<Run> run = start(ww::fuzz::crdt_fixture(data[0]), ww::fuzz::as_text(pieces[0]));
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    run->command(pieces[i][0], ww::fuzz::as_text(pieces[i].substr(1)));
  }
  return 0;
}
