// The CRDT specifications that the document fuzzers choose from by the first
// byte of their input, each with an initial value that fits it. Together
// they use every policy kind, nested: maps of sequences and sets, sequences
// of maps and sets, sets with identity paths whose members are maps holding
// strings and lists, string sequences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ww::fuzz {

struct CrdtFixture {
  std::string_view spec;
  std::string_view value;
};

inline constexpr CrdtFixture kCrdtFixtures[] = {
    {R"({"version":1,"root":{"kind":"register"}})", R"("Null")"},
    {R"({"version":1,"root":{"kind":"map","fields":{)"
     R"("title":{"kind":"sequence","materialization":"string"},)"
     R"("items":{"kind":"sequence","element":{"kind":"map","fields":{"tags":{"kind":"set"}}}},)"
     R"("people":{"kind":"set","keys":[["id"]],"element":{"kind":"map","fields":{)"
     R"("notes":{"kind":"sequence","materialization":"string"}}}},)"
     R"("tags":{"kind":"set"},"meta":{"kind":"map","values":{"kind":"map"}}}}})",
     R"({"Map":{"title":{"Str":"hi"},"items":{"List":[{"Map":{"n":{"Int":1}}}]},)"
     R"("people":{"List":[{"Map":{"id":{"Int":1},"name":{"Str":"ann"}}}]},)"
     R"("tags":{"List":[{"Str":"x"}]},"meta":{"Map":{}}}})"},
    {R"({"version":1,"root":{"kind":"set","keys":[["meta","id"],["kind"]],"element":{"kind":"map","fields":{)"
     R"("meta":{"kind":"map"},"body":{"kind":"sequence"}}}}})",
     R"({"List":[{"Map":{"meta":{"Map":{"id":{"Int":1}}},"kind":{"Str":"a"},"body":{"List":[{"Int":1}]}}}]})"},
    {R"({"version":1,"root":{"kind":"sequence","element":{"kind":"set"}}})", R"({"List":[{"List":[{"Int":1}]}]})"},
    {R"({"version":1,"root":{"kind":"sequence","materialization":"string"}})", R"({"Str":"ab"})"},
    {R"({"version":1,"root":{"kind":"map","values":{"kind":"sequence","element":)"
     R"({"kind":"sequence","materialization":"string"}}}})",
     R"({"Map":{"a":{"List":[{"Str":"xy"}]}}})"},
};

inline constexpr std::size_t kCrdtFixtureCount = sizeof(kCrdtFixtures) / sizeof(kCrdtFixtures[0]);

inline const CrdtFixture& crdt_fixture(std::uint8_t choice) { return kCrdtFixtures[choice % kCrdtFixtureCount]; }

}  // namespace ww::fuzz
