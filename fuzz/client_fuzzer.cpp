// Runs a client state through calls taken from the input, separated by NUL
// bytes, each a command byte and its argument:
//   'p' prepare, then commit of the effect it gives; 'c' commit;
//   'o' proposal: a flags byte (bit 0: a name is given), an id byte, the
//       operations, then \x01 and the name; 'x' abandon; 'd' disconnect.
// Oracles: a refused call changes nothing (revisions, pending proposals, the
// next generated name); an effect that prepare gives reads back, writes to
// the same text and commits; a proposal message reads back as the patch
// message of its operations; abandon and disconnect report what was
// pending; every error text is valid UTF-8.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "client/client_message.h"
#include "client/client_state.h"
#include "diff/patch_json.h"
#include "format/debug_text.h"
#include "fuzz_support.h"
#include "message/message.h"

namespace {

using ww::client::ClientState;

struct Seen {
  std::string revisions;
  std::vector<std::string> pending;
  bool operator==(const Seen&) const = default;
};

Seen seen(const ClientState& s) { return {s.revisions(), s.pending()}; }

void check_error(const ww::Error& e) {
  WW_FUZZ_CHECK(ww::is_valid_utf8(e.text()), "error text is not UTF-8", e.text());
}

class Run {
 public:
  void command(char cmd, const std::string& arg) {
    const Seen before = seen(state_);
    switch (cmd) {
      case 'p': prepare(arg, before); break;
      case 'c': {
        auto done = state_.commit(arg);
        if (!done.ok()) {
          check_error(done.error());
          WW_FUZZ_CHECK(seen(state_) == before, "a refused commit changed the state", arg);
        }
        break;
      }
      case 'o': proposal(arg, before); break;
      case 'x': {
        const bool was = std::binary_search(before.pending.begin(), before.pending.end(), arg);
        WW_FUZZ_CHECK(state_.abandon(arg) == was, "abandon misreports", arg);
        Seen expected = before;
        std::erase(expected.pending, arg);
        WW_FUZZ_CHECK(seen(state_) == expected, "abandon changed something else", arg);
        break;
      }
      case 'd': disconnect(before); break;
      default: break;
    }
  }

 private:
  void prepare(const std::string& message, const Seen& before) {
    auto effect = state_.prepare(message);
    WW_FUZZ_CHECK(seen(state_) == before, "prepare changed the state", message);
    if (!effect.ok()) return check_error(effect.error());
    auto read = ww::client::read_client_effect(*effect);
    WW_FUZZ_CHECK(read.ok(), "a prepared effect does not read back", *effect, read.error().text());
    WW_FUZZ_CHECK(ww::client::write_client_effect(*read) == *effect, "a prepared effect changes when read back",
                  *effect, ww::client::write_client_effect(*read));
    auto committed = state_.commit(*effect);
    WW_FUZZ_CHECK(committed.ok(), "a prepared effect does not commit", *effect, committed.error().text());
  }

  void proposal(const std::string& arg, const Seen& before) {
    if (arg.size() < 2) return;
    const bool named = (arg[0] & 1) != 0;
    const std::uint64_t id = static_cast<unsigned char>(arg[1]);
    const std::string rest = arg.substr(2);
    const std::size_t cut = rest.find('\x01');
    const std::string ops = rest.substr(0, cut);
    const std::string name = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    std::optional<std::string_view> given;
    if (named) given = name;

    auto made = state_.proposal(id, ops, given);
    if (!made.ok()) {
      check_error(made.error());
      WW_FUZZ_CHECK(seen(state_) == before, "a refused proposal changed the state", arg);
      return;
    }
    const std::string expected_name = named ? name : "auto-" + std::to_string(next_auto_++);
    auto message = ww::Message::from_json(*made);
    WW_FUZZ_CHECK(message.ok(), "a proposal message does not read back", *made, message.error().text());
    const auto* patch = std::get_if<ww::msg::PatchMsg>(&message->v);
    WW_FUZZ_CHECK(patch != nullptr && patch->id == id && patch->proposal == expected_name && patch->patch.rev == 0,
                  "a proposal message is not the patch message of the proposal", *made, expected_name);
    auto read_ops = ww::ops_from_json_text(ops);
    WW_FUZZ_CHECK(read_ops.ok(), "the operations of a proposal do not read", ops);
    std::string expected_ops;
    std::string carried_ops;
    ww::write_ops_json(*read_ops, expected_ops);
    ww::write_ops_json(patch->patch.ops, carried_ops);
    // The message text carries doubles within the JSON reader's rounding.
    WW_FUZZ_CHECK(ww::fuzz::same_but_float_rounding(carried_ops, expected_ops),
                  "a proposal message carries other operations", expected_ops, carried_ops);
    Seen expected = before;
    if (!std::binary_search(expected.pending.begin(), expected.pending.end(), expected_name)) {
      expected.pending.insert(std::lower_bound(expected.pending.begin(), expected.pending.end(), expected_name),
                              expected_name);
    }
    WW_FUZZ_CHECK(seen(state_) == expected, "a proposal left other pending proposals", *made);
  }

  void disconnect(const Seen& before) {
    const std::string effect = state_.disconnect();
    auto read = ww::client::read_client_effect(effect);
    WW_FUZZ_CHECK(read.ok() && read->kind == ww::client::ClientEffect::Kind::Disconnect &&
                      read->proposals == before.pending,
                  "disconnect does not list what was pending", effect);
    const Seen after = seen(state_);
    WW_FUZZ_CHECK(after.pending.empty() && after.revisions == before.revisions, "disconnect changed revisions",
                  effect);
    auto committed = state_.commit(effect);
    WW_FUZZ_CHECK(committed.ok() && seen(state_) == after, "committing a disconnect changed something", effect);
  }

  ClientState state_;
  std::uint64_t next_auto_ = 1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Run run;
  for (const std::string_view piece : ww::fuzz::split(ww::fuzz::as_bytes(data, size), '\0')) {
    if (piece.empty()) continue;
    run.command(piece[0], ww::fuzz::as_text(piece.substr(1)));
  }
  return 0;
}
