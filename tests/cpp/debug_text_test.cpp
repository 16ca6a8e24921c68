#include "format/debug_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ww {
namespace {

struct DebugCase {
  const char* what;
  std::string input;
  std::string expected;
};

TEST(DebugStr, EscapesByCharacterClass) {
  const std::vector<DebugCase> cases = {
      {"empty", "", R"("")"},
      {"plain ascii", "hello, world ~!", R"("hello, world ~!")"},
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"single quote kept", "it's", R"("it's")"},
      {"short escapes", std::string("\0\t\r\n", 4), R"("\0\t\r\n")"},
      {"escape between runs", "ab\ncd\"ef", R"("ab\ncd\"ef")"},
      {"other controls", "\x01\x1b\x1f", R"("\u{1}\u{1b}\u{1f}")"},
      {"delete", "\x7f", R"("\u{7f}")"},
      {"c1 control", "\u0085", R"("\u{85}")"},
      {"no-break space (Zs)", "\u00a0", R"("\u{a0}")"},
      {"soft hyphen (Cf)", "\u00ad", R"("\u{ad}")"},
      {"latin letter kept", "caf\u00e9", "\"caf\u00e9\""},
      {"combining mark after letter", "e\u0301", R"("e\u{301}")"},
      {"spacing mark that extends", "\u0995\u09be", "\"\u0995\\u{9be}\""},
      {"zero width space (Cf)", "\u200b", R"("\u{200b}")"},
      {"zero width non-joiner (Cf, extends)", "\u200c", R"("\u{200c}")"},
      {"line separator (Zl)", "\u2028", R"("\u{2028}")"},
      {"paragraph separator (Zp)", "\u2029", R"("\u{2029}")"},
      {"ideographic space (Zs)", "\u3000", R"("\u{3000}")"},
      {"unassigned", "\u0378", R"("\u{378}")"},
      {"noncharacter", "\uffff", R"("\u{ffff}")"},
      {"replacement character kept", "\ufffd", "\"\ufffd\""},
      {"cjk block ends kept", "\u4e00\u9fff", "\"\u4e00\u9fff\""},
      {"hangul block end kept", "\ud7a3", "\"\ud7a3\""},
      {"private use block", "\ue000\uf8ff", R"("\u{e000}\u{f8ff}")"},
      {"astral emoji kept", "\U0001F600", "\"\U0001F600\""},
      {"astral cjk block ends kept", "\U00020000\U0002A6DF\U000323AF",
       "\"\U00020000\U0002A6DF\U000323AF\""},
      {"astral unassigned after a block", "\U0002A6E0\U000323B0", R"("\u{2a6e0}\u{323b0}")"},
      {"astral format (Cf)", "\U000E0001", R"("\u{e0001}")"},
      {"variation selector (Mn, astral)", "\U000E0100", R"("\u{e0100}")"},
      {"last code point (Co)", "\U0010FFFF", R"("\u{10ffff}")"},
  };
  for (const DebugCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(debug_str(c.input), c.expected);
  }
}

TEST(DebugStr, AppendsToExistingText) {
  std::string out = "string ";
  append_debug_str("x\ty", out);
  EXPECT_EQ(out, R"(string "x\ty")");
}

TEST(DebugStr, ListForm) {
  const auto list = [](const std::vector<std::string>& items) {
    std::string out;
    append_debug_str_list(items, out);
    return out;
  };
  EXPECT_EQ(list({}), "[]");
  EXPECT_EQ(list({"a"}), R"(["a"])");
  EXPECT_EQ(list({"a", "b\"c", ""}), R"(["a", "b\"c", ""])");
}

TEST(DebugStrDeathTest, InvalidUtf8IsABrokenInvariant) {
  EXPECT_DEATH(debug_str("a\xff"), "invalid UTF-8");
}

TEST(CharacterClasses, OutsideTheTables) {
  EXPECT_TRUE(is_printable(U' '));
  EXPECT_FALSE(is_printable(U'\u3000'));
  EXPECT_FALSE(is_printable(static_cast<char32_t>(0x110000)));
  EXPECT_FALSE(is_grapheme_extend(static_cast<char32_t>(0x110000)));
  EXPECT_TRUE(is_grapheme_extend(U'\u0301'));
  EXPECT_TRUE(is_printable(U'\u0301'));
}

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

std::string fffd(int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out.append(kFffd);
  return out;
}

struct Utf8Case {
  const char* what;
  std::string input;
  std::optional<Utf8Fault> fault;
  std::string lossy;
};

Utf8Fault invalid(std::size_t at, std::size_t len) { return {at, len}; }
Utf8Fault incomplete(std::size_t at) { return {at, std::nullopt}; }

TEST(Utf8, FirstFaultAndLossyConversion) {
  const std::vector<Utf8Case> cases = {
      {"empty", "", std::nullopt, ""},
      {"valid mix", "a\u00e9\u20ac\U0001F600", std::nullopt, "a\u00e9\u20ac\U0001F600"},
      {"boundary code points", "\u007f\u0080\u07ff\u0800\ud7ff\ue000\uffff\U00010000\U0010FFFF",
       std::nullopt, "\u007f\u0080\u07ff\u0800\ud7ff\ue000\uffff\U00010000\U0010FFFF"},
      {"truncated 2-byte at end", "ab\xC3", incomplete(2), "ab" + fffd(1)},
      {"truncated 3-byte at end", "a\xE2\x82", incomplete(1), "a" + fffd(1)},
      {"truncated 4-byte at end", "\xF0\x9F\x98", incomplete(0), fffd(1)},
      {"truncated 3-byte before text", "\xE2\x82" "a", invalid(0, 2), fffd(1) + "a"},
      {"truncated 4-byte before text", "\xF0\x9F\x98" "a", invalid(0, 3), fffd(1) + "a"},
      {"bad second byte at end is not incomplete", "\xE0\x80", invalid(0, 1), fffd(2)},
      {"lone continuation", "a\x80" "b", invalid(1, 1), "a" + fffd(1) + "b"},
      {"overlong 2-byte", "\xC0\xAF", invalid(0, 1), fffd(2)},
      {"overlong 3-byte", "\xE0\x80\xAF", invalid(0, 1), fffd(3)},
      {"overlong 4-byte", "\xF0\x80\x80\xAF", invalid(0, 1), fffd(4)},
      {"surrogate D800", "x\xED\xA0\x80", invalid(1, 1), "x" + fffd(3)},
      {"above U+10FFFF", "\xF4\x90\x80\x80", invalid(0, 1), fffd(4)},
      {"F5 lead byte", "\xF5\x80\x80\x80", invalid(0, 1), fffd(4)},
      {"FF byte", "\xFF", invalid(0, 1), fffd(1)},
      {"several maximal subparts", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       invalid(1, 3), "a" + fffd(3) + "b" + fffd(1) + "c" + fffd(2) + "d"},
      {"fault then incomplete tail", "\xC3(\xE2\x82", invalid(0, 1), fffd(1) + "(" + fffd(1)},
  };
  for (const Utf8Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<Utf8Fault> got = first_utf8_fault(c.input);
    ASSERT_EQ(got.has_value(), c.fault.has_value());
    if (got) {
      EXPECT_EQ(got->valid_up_to, c.fault->valid_up_to);
      EXPECT_EQ(got->error_len, c.fault->error_len);
    }
    EXPECT_EQ(is_valid_utf8(c.input), !c.fault.has_value());
    EXPECT_EQ(utf8_lossy(c.input), c.lossy);
  }
}

TEST(Utf8, FaultMessages) {
  EXPECT_EQ(describe_utf8_fault(invalid(3, 2)), "invalid utf-8 sequence of 2 bytes from index 3");
  EXPECT_EQ(describe_utf8_fault(incomplete(0)), "incomplete utf-8 byte sequence from index 0");
}

}  // namespace
}  // namespace ww
