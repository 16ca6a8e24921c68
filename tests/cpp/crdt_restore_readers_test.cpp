// The two readers of a saved state: whenever the one-pass reader accepts a
// text, the saved-state readers accept it too and read the same state. Saved
// states of real documents, with their liberties and with random damage.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_json.h"
#include "crdt/reducer/restored_state.h"
#include "crdt/reducer/tree_wire.h"
#include "format/json/json_value.h"
#include "text_damage.h"

namespace ww::crdt::reducer {
namespace {

constexpr const char* kSpec = R"({"version":1,"root":{"kind":"map","fields":{
  "title":{"kind":"sequence","materialization":"string"},
  "items":{"kind":"sequence","element":{"kind":"map"}},
  "tags":{"kind":"set","keys":[["id"]],"element":{"kind":"map"}},
  "meta":{"kind":"map","values":{"kind":"map"}}}}})";

// Everything a restored state holds, as text.
std::string dump(const RestoredState& s) {
  std::string out = std::to_string(s.state_version) + "|" + s.spec_hash + "|";
  for (const auto& [replica, counter] : s.compacted) out += replica + ":" + std::to_string(counter) + ",";
  out += "|";
  for (const InternedDot& d : s.dots) s.replicas.write(d, out);
  out += "|";
  for (const RestoredState::Fingerprint& f : s.fingerprints) {
    s.replicas.write(f.dot, out);
    out += f.text == RestoredState::kDigest ? std::string(reinterpret_cast<const char*>(f.digest.data()), 32)
                                            : s.texts[f.text];
  }
  out += s.bad_fingerprint ? "|bad|" : "|good|";
  write_node(s.root, s.replicas, out);
  return out;
}

std::vector<std::string> saved_states() {
  auto a = CrdtDocument::create(kSpec,
                                R"({"Map":{"title":{"Str":"héllo"},"items":{"List":[{"Map":{"n":{"Int":1}}}]},
                                    "tags":{"List":[{"Map":{"id":{"Int":1}}}]},"meta":{"Map":{}}}})",
                                "a");
  std::vector<std::string> out;
  const char* edits[] = {
      R"([{"kind":"sequence_splice","path":[{"kind":"key","key":"title"}],"index":1,"delete_count":2,"values":[{"Str":"x"}]}])",
      R"([{"kind":"set_add","path":[{"kind":"key","key":"tags"}],"value":{"Map":{"id":{"Int":2},"x":{"Float":1.5}}}}])",
      R"([{"kind":"map_set","path":[{"kind":"key","key":"meta"}],"key":"m","value":{"Map":{"k":"Null"}}}])",
      R"([{"kind":"map_remove","path":[{"kind":"key","key":"meta"}],"key":"m"}])",
      R"([{"kind":"sequence_splice","path":[{"kind":"key","key":"items"}],"index":0,"delete_count":1,"values":[]}])",
  };
  for (const char* edit : edits) {
    EXPECT_TRUE(mutate_json(*a, edit).ok());
    out.push_back(a->state());
  }
  EXPECT_TRUE(compact_json(*a, R"({"a":2})").ok());
  out.push_back(a->state());
  return out;
}

// Returns whether the one-pass reader accepted the text.
bool expect_same_reading(const std::string& text) {
  RestoredState fast;
  const bool one_pass = read_restored_state_fast(text, fast);
  auto reference = read_restored_state(text);
  if (!one_pass) return false;
  EXPECT_TRUE(reference.ok()) << text << "\n" << reference.error().text();
  if (reference.ok()) {
    EXPECT_EQ(dump(fast), dump(*reference)) << text;
  }
  return true;
}

TEST(RestoreReaders, TheOnePassReaderAcceptsOnlyWhatTheRecordReadersReadAlike) {
  std::mt19937 rng(17);
  const std::string alphabet = "{}[],:\" 0123456789-.eEnulltruefalsekind";
  for (const std::string& state : saved_states()) {
    // The texts this system writes are all read in one pass.
    EXPECT_TRUE(expect_same_reading(state)) << state;
    // Keys in ascending order: "kind" is no longer first.
    expect_same_reading(to_json_text(*parse_json_text(state)));
    for (int round = 0; round < 400; ++round) {
      std::string text = state;
      test_damage::damage(text, rng, alphabet);
      expect_same_reading(text);
    }
  }
}

}  // namespace
}  // namespace ww::crdt::reducer
