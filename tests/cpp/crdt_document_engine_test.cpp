// The incremental engine of CrdtDocument (materialised value kept between
// calls, patch from the changed places, journal instead of a copy) against
// the plain one (whole materialisation after every operation, whole diff),
// over random edits of three replicas that exchange operations in any
// order, with duplicates, tampered operations, compactions and restores.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "crdt/reducer/document.h"
#include "crdt/reducer/document_json.h"
#include "format/json/json_value.h"
#include "format/json/json_writer.h"

namespace ww::crdt::reducer {
namespace {

constexpr const char* kSpec = R"({"version":1,"root":{"kind":"map","fields":{
  "title":{"kind":"sequence","materialization":"string"},
  "items":{"kind":"sequence","element":{"kind":"map","fields":{"tags":{"kind":"set"}}}},
  "people":{"kind":"set","keys":[["id"]],"element":{"kind":"map","fields":{
      "notes":{"kind":"sequence","materialization":"string"}}}},
  "tags":{"kind":"set"},
  "meta":{"kind":"map","values":{"kind":"map"}}}}})";

constexpr const char* kInitial = R"({"Map":{"title":{"Str":"hé"},"items":{"List":[{"Map":{"n":{"Int":1}}}]},
  "people":{"List":[{"Map":{"id":{"Int":1},"name":{"Str":"ann"}}}]},"tags":{"List":[{"Str":"x"}]},
  "meta":{"Map":{"m":{"Map":{"k":{"Int":2}}}}}}})";

// What a call gave: its text, or "error: " and the error text.
template <class T>
std::string outcome(const Result<T>& r) {
  if (!r.ok()) return "error: " + r.error().text();
  if constexpr (std::is_same_v<T, std::string>) {
    return *r;
  } else {
    return std::to_string(*r);
  }
}

struct Replica {
  CrdtDocument fast;
  CrdtDocument plain;
};

CrdtDocument make(const std::string& replica, bool plain) {
  auto doc = CrdtDocument::create(kSpec, kInitial, replica);
  EXPECT_TRUE(doc.ok()) << doc.error().text();
  CrdtDocument d = doc.take();
  d.set_whole_materialization(plain);
  return d;
}

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  std::string scalar() {
    switch (below(9)) {
      case 0: return "\"Null\"";
      case 1: return R"({"Bool":true})";
      case 2: return R"({"Int":)" + std::to_string(below(5)) + "}";
      case 3: return R"({"Float":-0.0})";
      case 4: return R"({"Float":0.0})";
      case 5: return chance(0.3) ? R"({"Float":-1e300})" : R"({"Float":1.5})";
      case 6: return R"({"List":[{"Int":1},{"Str":"q"}]})";
      case 7: return R"({"Map":{"z":{"Int":)" + std::to_string(below(3)) + "}}}";
      default: return R"({"Str":")" + std::string(1, static_cast<char>('a' + below(4))) + "\"}";
    }
  }

  std::string character() {
    static const char* chars[] = {"a", "b", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
    if (chance(0.03)) return chance(0.5) ? R"({"Str":"ab"})" : R"({"Int":1})";
    return std::string(R"({"Str":")") + chars[below(5)] + "\"}";
  }

  std::string characters() {
    std::string out = "[";
    const std::size_t n = below(4);
    for (std::size_t i = 0; i < n; ++i) out += (i ? "," : "") + character();
    return out + "]";
  }

  // An existing element id of the sequence, or sometimes an unknown one.
  std::string element_id(const SequenceState* seq) {
    if (seq == nullptr || seq->entries.empty() || chance(0.05)) {
      return R"({"dot":{"counter":)" + std::to_string(1 + below(40)) + R"(,"replica":"b"},"index":0})";
    }
    auto it = seq->entries.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(below(seq->entries.size())));
    std::string out;
    write_element_id(it->first, out);
    return out;
  }

  std::string member_key(const SetState* set) {
    std::string key = R"([[["id"],{"Int":9}]])";
    if (set != nullptr && !set->entries.empty() && !chance(0.1)) {
      auto it = set->entries.begin();
      std::advance(it, static_cast<std::ptrdiff_t>(below(set->entries.size())));
      key = it->first;
    }
    std::string out;
    json::append_str(key, out);
    return out;
  }

  std::string mutation(const CrdtDocument& doc) {
    const MapState* root = doc.root().map();
    auto child = [&](const char* key) -> const NodeState* {
      auto it = root->entries.find(std::string(key));
      return it == root->entries.end() ? nullptr : &it->second.node;
    };
    const SequenceState* title = child("title") ? child("title")->sequence() : nullptr;
    const SequenceState* items = child("items") ? child("items")->sequence() : nullptr;
    const SetState* people = child("people") ? child("people")->set() : nullptr;
    const SetState* tags = child("tags") ? child("tags")->set() : nullptr;
    const std::string key = "\"" + std::string(1, static_cast<char>('p' + below(3))) + "\"";
    const std::string n = std::to_string(below(6));
    switch (below(22)) {
      case 0: return R"({"kind":"map_set","path":[],"key":)" + key + R"(,"value":)" + scalar() + "}";
      case 1: return R"({"kind":"map_remove","path":[],"key":)" + key + "}";
      case 2: return R"({"kind":"register_set","path":[{"kind":"key","key":)" + key + R"(}],"value":)" + scalar() + "}";
      case 3:
      case 4:
      case 5:
        return R"({"kind":"sequence_splice","path":[{"kind":"key","key":"title"}],"index":)" + n +
               R"(,"delete_count":)" + std::to_string(below(3)) + R"(,"values":)" + characters() + "}";
      case 6:
        return R"({"kind":"sequence_insert","path":[{"kind":"key","key":"title"}],"after":)" +
               (chance(0.2) ? std::string("null") : element_id(title)) + R"(,"values":)" + characters() + "}";
      case 7:
        return R"({"kind":"sequence_delete","path":[{"kind":"key","key":"title"}],"ids":[)" + element_id(title) +
               "," + element_id(title) + "]}";
      case 8:
        return R"({"kind":"register_set","path":[{"kind":"key","key":"title"},{"kind":"element","id":)" +
               element_id(title) + R"(}],"value":)" + character() + "}";
      case 9:
        return R"({"kind":"sequence_splice","path":[{"kind":"key","key":"items"}],"index":)" +
               std::to_string(below(3)) + R"(,"delete_count":)" + std::to_string(below(2)) +
               R"(,"values":[{"Map":{"n":)" + scalar() + R"(,"tags":{"List":[{"Str":"t"}]}}}]})";
      case 10:
        return R"({"kind":"map_set","path":[{"kind":"key","key":"items"},{"kind":"element","id":)" +
               element_id(items) + R"(}],"key":"n","value":)" + scalar() + "}";
      case 11:
        return R"({"kind":"set_add","path":[{"kind":"key","key":"items"},{"kind":"element","id":)" +
               element_id(items) + R"(},{"kind":"key","key":"tags"}],"value":)" + scalar() + "}";
      case 12:
        return R"({"kind":"set_add","path":[{"kind":"key","key":"people"}],"value":{"Map":{"id":{"Int":)" +
               std::to_string(below(4)) + R"(},"name":)" + scalar() + R"(,"notes":{"Str":"n"}}}})";
      case 13:
        return R"({"kind":"set_remove","path":[{"kind":"key","key":"people"}],"key":)" + member_key(people) + "}";
      case 14:
        return R"({"kind":"map_set","path":[{"kind":"key","key":"people"},{"kind":"member","key":)" +
               member_key(people) + R"(}],"key":)" + (chance(0.1) ? std::string("\"id\"") : std::string("\"name\"")) +
               R"(,"value":)" + scalar() + "}";
      case 15:
        return R"({"kind":"sequence_splice","path":[{"kind":"key","key":"people"},{"kind":"member","key":)" +
               member_key(people) + R"(},{"kind":"key","key":"notes"}],"index":0,"delete_count":0,"values":)" +
               characters() + "}";
      case 16: return R"({"kind":"set_add","path":[{"kind":"key","key":"tags"}],"value":)" + scalar() + "}";
      case 17: return R"({"kind":"set_remove","path":[{"kind":"key","key":"tags"}],"key":)" + member_key(tags) + "}";
      case 18:
        return R"({"kind":"map_set","path":[{"kind":"key","key":"meta"}],"key":)" + key + R"(,"value":{"Map":{"k":)" +
               scalar() + "}}}";
      case 19:
        return R"({"kind":"map_set","path":[{"kind":"key","key":"meta"},{"kind":"key","key":"m"}],"key":"k","value":)" +
               scalar() + "}";
      case 20: return R"({"kind":"map_remove","path":[{"kind":"key","key":"meta"}],"key":"m"})";
      default: return R"({"kind":"map_remove","path":[],"key":")" + std::string(chance(0.5) ? "title" : "items") + "\"}";
    }
  }

  std::mt19937 rng_;
};

std::vector<std::string> ops_of(const std::string& mutate_result) {
  std::vector<std::string> out;
  auto parsed = parse_json_text(mutate_result);
  if (!parsed.ok()) return out;
  for (const JsonValue& op : parsed->find("ops")->as_array()) out.push_back(to_json_text(op));
  return out;
}

// The same operation's dot with other content.
std::string tampered(const std::string& op) {
  auto parsed = parse_json_text(op);
  return R"({"kind":"sequence_delete","dot":)" + to_json_text(*parsed->find("dot")) + R"(,"path":[],"ids":[]})";
}

// The largest counter up to which every dot of `replica` has been seen.
std::uint64_t contiguous(const CausalContext& context, const std::string& replica) {
  std::uint64_t c = 0;
  while (context.seen(Dot{c + 1, replica})) ++c;
  return c;
}

void expect_same(Replica& r, const std::string& what) {
  ASSERT_EQ(r.fast.state(), r.plain.state()) << what;
  ASSERT_EQ(outcome(r.fast.value_json()), outcome(r.plain.value_json())) << what;
}

void run(std::uint32_t seed, int steps) {
  Generator g(seed);
  const std::vector<std::string> names = {"a", "b", "c"};
  std::vector<Replica> replicas;
  for (const std::string& n : names) replicas.push_back(Replica{make(n, false), make(n, true)});
  std::vector<std::string> log;  // every operation made so far

  for (int step = 0; step < steps; ++step) {
    Replica& r = replicas[g.below(replicas.size())];
    const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
    const std::size_t action = g.below(20);
    if (action < 10) {
      std::string mutations = "[";
      const std::size_t n = 1 + g.below(3);
      for (std::size_t i = 0; i < n; ++i) mutations += (i ? "," : "") + g.mutation(r.fast);
      mutations += "]";
      const std::string fast = outcome(mutate_json(r.fast, mutations));
      const std::string plain = outcome(mutate_json(r.plain, mutations));
      ASSERT_EQ(fast, plain) << where << " mutate " << mutations;
      for (std::string& op : ops_of(fast)) log.push_back(std::move(op));
      expect_same(r, where + " after mutate " + mutations);
    } else if (action < 17 && !log.empty()) {
      std::string batch = "[";
      const std::size_t n = 1 + g.below(8);
      for (std::size_t i = 0; i < n; ++i) {
        // Recent operations more often, any older one at times.
        std::size_t pick = g.chance(0.7) ? log.size() - 1 - g.below(std::min<std::size_t>(log.size(), 12))
                                         : g.below(log.size());
        std::string op = log[pick];
        if (g.chance(0.02)) op = tampered(op);
        batch += (i ? "," : "") + op;
      }
      batch += "]";
      const std::string fast = outcome(apply_json(r.fast, batch));
      const std::string plain = outcome(apply_json(r.plain, batch));
      ASSERT_EQ(fast, plain) << where << " apply " << batch;
      expect_same(r, where + " after apply " + batch);
    } else if (action < 19) {
      std::string frontier = "{";
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (g.chance(0.4)) continue;
        if (frontier.size() > 1) frontier += ",";
        const std::uint64_t c = g.chance(0.7) ? contiguous(r.fast.context(), names[i]) : g.below(30);
        frontier += "\"" + names[i] + "\":" + std::to_string(c);
      }
      frontier += "}";
      const std::string fast = outcome(compact_json(r.fast, frontier));
      const std::string plain = outcome(compact_json(r.plain, frontier));
      ASSERT_EQ(fast, plain) << where << " compact " << frontier;
      expect_same(r, where + " after compact " + frontier);
    } else {
      auto restored = CrdtDocument::from_state(kSpec, r.fast.state(), r.fast.replica());
      ASSERT_TRUE(restored.ok()) << where << " " << restored.error().text();
      ASSERT_EQ(restored->state(), r.fast.state()) << where;
      ASSERT_EQ(outcome(restored->value_json()), outcome(r.fast.value_json())) << where;
      r.fast = restored.take();
    }
  }
}

class EngineAgreement : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(EngineAgreement, IncrementalMatchesWholeMaterialization) { run(GetParam(), 600); }

INSTANTIATE_TEST_SUITE_P(Seeds, EngineAgreement, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

}  // namespace
}  // namespace ww::crdt::reducer
