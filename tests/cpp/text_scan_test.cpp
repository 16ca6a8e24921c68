// The block scanners of the text engines held against plain byte-at-a-time
// references kept here: the scan primitives (SWAR, SSE2 and the default
// path), the JSON reader's strings, whitespace and numbers (results, error
// texts and positions), the string writer and the UTF-8 fault finder, on
// hits at every offset around 8- and 16-byte blocks and the end of input.
//
// Every input lives in a heap block of exactly its size, so that the
// sanitizer build catches a read past the end.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/debug_text.h"
#include "format/json/json_value.h"
#include "format/json/json_writer.h"
#include "format/json/text_de.h"
#include "format/text_scan.h"
#include "split_mix.h"
#include "json_string_reference.h"

namespace ww {
namespace {

// ---- fixtures ----------------------------------------------------------------

class Exact {
 public:
  explicit Exact(std::string_view s) : size_(s.size()), data_(new char[s.empty() ? 1 : s.size()]) {
    if (!s.empty()) std::memcpy(data_.get(), s.data(), s.size());
  }
  std::string_view view() const { return {data_.get(), size_}; }
  const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(data_.get()); }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  std::unique_ptr<char[]> data_;
};

using Rng = ww::test_rng::SplitMix;

std::string hex(std::string_view s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02x ", c);
    out += buf;
  }
  return out;
}

std::string at(const char* message, std::string_view input, std::size_t index) {
  const json::Position pos = json::position_of(input, index);
  return std::string(message) + " at line " + std::to_string(pos.line) + " column " + std::to_string(pos.column);
}

// ---- scan primitives ---------------------------------------------------------

using Finder = std::size_t (*)(const unsigned char*, std::size_t);

struct Routine {
  const char* name;
  std::function<bool(unsigned char)> hit;
  std::vector<std::pair<const char*, Finder>> paths;
};

std::vector<Routine> routines() {
  auto paths = [](Finder swar, [[maybe_unused]] Finder sse2, Finder wide) {
    std::vector<std::pair<const char*, Finder>> v{{"swar", swar}, {"default", wide}};
#if WW_TEXT_SCAN_SSE2
    v.emplace_back("sse2", sse2);
#endif
    return v;
  };
#if WW_TEXT_SCAN_SSE2
#define WW_SSE2(f) scan::sse2::f
#else
#define WW_SSE2(f) nullptr
#endif
  std::vector<Routine> r;
  r.push_back({"string_stop", [](unsigned char c) { return c == '"' || c == '\\' || c < 0x20; },
               paths(scan::swar::find_string_stop, WW_SSE2(find_string_stop), scan::find_string_stop)});
  r.push_back({"string_stop_or_non_ascii", [](unsigned char c) { return c == '"' || c == '\\' || c < 0x20 || c >= 0x80; },
               paths(scan::swar::find_string_stop_or_non_ascii, WW_SSE2(find_string_stop_or_non_ascii),
                     scan::find_string_stop_or_non_ascii)});
  r.push_back({"non_ascii", [](unsigned char c) { return c >= 0x80; },
               paths(scan::swar::find_non_ascii, WW_SSE2(find_non_ascii), scan::find_non_ascii)});
#undef WW_SSE2
  return r;
}

std::size_t ref_find(const std::function<bool(unsigned char)>& hit, std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (hit(static_cast<unsigned char>(s[i]))) return i;
  }
  return s.size();
}

void expect_all_paths_agree(const Routine& r, std::string_view s) {
  const Exact buf(s);
  const std::size_t want = ref_find(r.hit, s);
  for (const auto& [path, find] : r.paths) {
    ASSERT_EQ(find(buf.bytes(), buf.size()), want) << r.name << " " << path << " on " << hex(s);
  }
}

TEST(TextScan, EveryHitAtEveryOffsetAndLength) {
  // Each routine's hits and near misses (bytes one off a hit, and bytes
  // whose low seven bits match a hit).
  static constexpr char kBytes[] = "\"\\\x00\x1f\x20\x21\x5b\x5d\x7f\x80\x9f\xa2\xdc\xff \n\t\r\x0b\x0c/09:";
  const std::string bytes_of_interest(kBytes, sizeof kBytes - 1);
  for (const Routine& r : routines()) {
    for (unsigned char filler : {'a', '0', ' '}) {
      if (r.hit(filler)) continue;
      for (std::size_t n = 0; n <= 40; ++n) {
        expect_all_paths_agree(r, std::string(n, static_cast<char>(filler)));
        for (std::size_t pos = 0; pos < n; ++pos) {
          for (char b : bytes_of_interest) {
            std::string s(n, static_cast<char>(filler));
            s[pos] = b;
            expect_all_paths_agree(r, s);
            // A second hit later must not win.
            if (pos + 3 < n) {
              s[pos + 3] = '"';
              expect_all_paths_agree(r, s);
            }
          }
        }
      }
    }
  }
}

TEST(TextScan, RandomBytes) {
  Rng rng{1};
  static constexpr char kBytes[] = "\"\\\x00\x1f aZ09\n\t\r\x7f\x80\xc3\xa9\xff.-+eE";
  const std::string alphabet(kBytes, sizeof kBytes - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string s(rng.below(70), 'x');
    const std::size_t density = 1 + rng.below(40);
    for (char& c : s) {
      if (rng.below(density) == 0) c = alphabet[rng.below(alphabet.size())];
      else if (rng.below(2)) c = static_cast<char>('0' + rng.below(10));
    }
    for (const Routine& r : routines()) expect_all_paths_agree(r, s);
  }
}

TEST(TextScan, DigitWords) {
  Rng rng{2};
  for (int round = 0; round < 20000; ++round) {
    char w[8];
    // Non-digits next to the digit range, and bytes whose difference from
    // '0' borrows or carries into the next byte.
    static constexpr char kOthers[] = "/:a\x00 .e\xb0\x7f\xff\x8a\xd0\x01";
    for (char& c : w) c = rng.below(4) ? static_cast<char>('0' + rng.below(10)) : kOthers[rng.below(sizeof kOthers - 1)];
    const std::uint64_t word = scan::swar::load8(reinterpret_cast<const unsigned char*>(w));
    unsigned k = 0;
    std::uint64_t value = 0;
    while (k < 8 && w[k] >= '0' && w[k] <= '9') value = value * 10 + static_cast<unsigned>(w[k++] - '0');
    ASSERT_EQ(scan::leading_digits(word), k) << hex({w, 8});
    if (k > 0) {
      ASSERT_EQ(scan::digits_value(word, k), value) << hex({w, 8});
    }
  }
  const unsigned char nines[] = "99999999";
  EXPECT_EQ(scan::digits_value(scan::swar::load8(nines), 8), 99999999u);
}

// ---- UTF-8 faults --------------------------------------------------------------

// Well-formed sequences by their lead byte: the second byte's range rules
// out overlongs, surrogates and code points past U+10FFFF.
std::optional<Utf8Fault> ref_fault(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (b(0) < 0x80) {
      ++i;
      continue;
    }
    std::size_t width;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b(0) >= 0xC2 && b(0) <= 0xDF) {
      width = 2;
    } else if (b(0) >= 0xE0 && b(0) <= 0xEF) {
      width = 3;
      lo = b(0) == 0xE0 ? 0xA0 : 0x80;
      hi = b(0) == 0xED ? 0x9F : 0xBF;
    } else if (b(0) >= 0xF0 && b(0) <= 0xF4) {
      width = 4;
      lo = b(0) == 0xF0 ? 0x90 : 0x80;
      hi = b(0) == 0xF4 ? 0x8F : 0xBF;
    } else {
      return Utf8Fault{i, 1};
    }
    for (std::size_t k = 1; k < width; ++k) {
      if (i + k >= s.size()) return Utf8Fault{i, std::nullopt};
      if (b(k) < lo || b(k) > hi) return Utf8Fault{i, k};
      lo = 0x80;
      hi = 0xBF;
    }
    i += width;
  }
  return std::nullopt;
}

// Ill-formed pieces of every kind; the "cut" ones are well-formed
// beginnings that fail only at the end of the input.
struct Fault {
  const char* name;
  std::string bytes;
};
const std::vector<Fault>& faults() {
  static const std::vector<Fault> f{
      {"overlong 2", "\xc0\xaf"},         {"overlong 2 C1", "\xc1\xbf"},     {"overlong 3", "\xe0\x80\xaf"},
      {"overlong 4", "\xf0\x80\x80\xaf"}, {"surrogate", "\xed\xa0\x80"},     {"low surrogate", "\xed\xbf\xbf"},
      {"past 10FFFF", "\xf4\x90\x80\x80"}, {"F5", "\xf5\x80\x80\x80"},       {"FF", "\xff"},
      {"lone continuation", "\x80"},      {"continuation BF", "\xbf"},       {"lead then ASCII", "\xc3\x41"},
      {"3 then ASCII", "\xe2\x82\x41"},   {"4 then ASCII", "\xf0\x9f\x98\x41"}, {"cut 2", "\xc3"},
      {"cut 3", "\xe2\x82"},              {"cut 4", "\xf0\x9f\x98"},
  };
  return f;
}
const char* const kGood[] = {"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf",
                             "\xee\x80\x80", "\xc2\x80"};

std::string fill(Rng& rng, std::size_t bytes) {
  // Mixed ASCII and multi-byte characters, at least `bytes` long.
  std::string s;
  while (s.size() < bytes) s += rng.below(3) ? "a" : kGood[rng.below(std::size(kGood))];
  return s;
}

void expect_fault_as_reference(std::string_view s) {
  const Exact buf(s);
  const std::optional<Utf8Fault> want = ref_fault(s);
  const std::optional<Utf8Fault> got = first_utf8_fault(buf.view());
  ASSERT_EQ(got.has_value(), want.has_value()) << hex(s);
  ASSERT_EQ(is_valid_utf8(buf.view()), !want.has_value()) << hex(s);
  if (want) {
    ASSERT_EQ(got->valid_up_to, want->valid_up_to) << hex(s);
    ASSERT_EQ(got->error_len, want->error_len) << hex(s);
  }
}

TEST(Utf8Scan, EveryFaultAtEveryOffset) {
  Rng rng{3};
  for (const Fault& f : faults()) {
    for (std::size_t offset = 0; offset <= 40; ++offset) {
      for (bool ascii_before : {true, false}) {
        std::string before = ascii_before ? std::string(offset, 'a') : fill(rng, offset);
        expect_fault_as_reference(before + f.bytes);                   // at the end
        expect_fault_as_reference(before + f.bytes + "tail of text"); // inside
        expect_fault_as_reference(before + f.bytes + fill(rng, 20));
      }
    }
  }
}

TEST(Utf8Scan, RandomText) {
  Rng rng{4};
  for (int round = 0; round < 20000; ++round) {
    std::string s = fill(rng, rng.below(60));
    if (rng.below(2)) s.insert(rng.below(s.size() + 1), faults()[rng.below(faults().size())].bytes);
    if (rng.below(4) == 0) s.insert(rng.below(s.size() + 1), 1, static_cast<char>(0x80 + rng.below(0x80)));
    expect_fault_as_reference(s);
  }
}

// ---- JSON strings ----------------------------------------------------------------

// The reader's strings byte by byte: content up to a quote, backslash or
// control character, escapes, and (when `validate`) a UTF-8 check of the
// finished string. Returns the string or the error text.
std::string ref_read_string(std::string_view in, bool validate, bool skipping) {
  std::size_t i = 1;  // after the opening quote
  std::string out;
  const auto hex4 = [&](std::uint32_t& v) -> const char* {
    if (in.size() - i < 4) {
      i = in.size();
      return "EOF while parsing a string";
    }
    v = 0;
    bool ok = true;
    for (int k = 0; k < 4; ++k) {
      const char c = in[i + k];
      int h = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (h < 0) ok = false;
      v = (v << 4) | static_cast<std::uint32_t>(h & 0xf);
    }
    i += 4;
    return ok ? nullptr : "invalid escape";
  };
  const auto put = [&](std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (;;) {
    if (i == in.size()) return "ERR " + at("EOF while parsing a string", in, i);
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (c == '"') {
      ++i;
      if (validate && ref_fault(out)) return "ERR " + at("invalid unicode code point", in, i);
      // Only whitespace may follow the document.
      while (i < in.size() && (in[i] == ' ' || in[i] == '\n' || in[i] == '\t' || in[i] == '\r')) ++i;
      if (i < in.size()) return "ERR " + at("trailing characters", in, i + 1);
      return out;
    }
    // Reading places this error after the character, skipping before it.
    if (c < 0x20) {
      return "ERR " + at("control character (\\u0000-\\u001F) found while parsing a string", in, skipping ? i : i + 1);
    }
    if (c != '\\') {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    ++i;
    if (i == in.size()) return "ERR " + at("EOF while parsing a string", in, i);
    const char e = in[i++];
    const char* simple = std::strchr("\"\\/bfnrt", e);
    if (e != 0 && simple) {
      out += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
      continue;
    }
    if (e != 'u') return "ERR " + at("invalid escape", in, i);
    std::uint32_t n;
    if (const char* err = hex4(n)) return "ERR " + at(err, in, i);
    if (skipping) continue;
    if (n >= 0xDC00 && n <= 0xDFFF) return "ERR " + at("lone leading surrogate in hex escape", in, i);
    if (n < 0xD800 || n > 0xDBFF) {
      put(n);
      continue;
    }
    for (char want : {'\\', 'u'}) {
      if (i == in.size()) return "ERR " + at("EOF while parsing a string", in, i);
      if (in[i++] != want) return "ERR " + at("unexpected end of hex escape", in, i);
    }
    std::uint32_t n2;
    if (const char* err = hex4(n2)) return "ERR " + at(err, in, i);
    if (n2 < 0xDC00 || n2 > 0xDFFF) return "ERR " + at("lone leading surrogate in hex escape", in, i);
    put(((n - 0xD800) << 10 | (n2 - 0xDC00)) + 0x10000);
  }
}

std::string read_string(std::string_view in, bool validate) {
  const Exact buf(in);
  auto r = validate ? parse_json_bytes(buf.view()) : parse_json_text(buf.view());
  if (!r.ok()) return "ERR " + r.error().text();
  if (!r->is(JsonValue::Kind::Str)) return "not a string";
  return r->as_str();
}

std::string skip_value(std::string_view in) {
  const Exact buf(in);
  json::TextDe de(buf.view(), false);
  Status s = de.ignored_any();
  if (s.ok()) s = de.end();
  return s.ok() ? "" : "ERR " + s.error().text();
}

void expect_string_as_reference(std::string_view doc) {
  for (bool validate : {false, true}) {
    ASSERT_EQ(read_string(doc, validate), ref_read_string(doc, validate, false))
        << (validate ? "bytes " : "text ") << hex(doc);
  }
  std::string skipped = ref_read_string(doc, false, true);
  if (skipped.rfind("ERR ", 0) != 0) skipped.clear();
  ASSERT_EQ(skip_value(doc), skipped) << "skip " << hex(doc);
}

TEST(JsonStringScan, StopsAtEveryOffset) {
  const char* const stops[] = {"\"", "\\n", "\\\"", "\\u00e9", "\\ud83d\\ude00", "\x01", "\x1f", "\\x", "\\u12",
                               "\\ud800", "\\udc00", "\\ud800x", "\\", "\x7f", "\xc3\xa9"};
  for (std::size_t offset = 0; offset <= 40; ++offset) {
    for (const char* stop : stops) {
      const std::string before = "\"" + std::string(offset, 'a');
      expect_string_as_reference(before + stop);                // the input ends there
      expect_string_as_reference(before + stop + "\"");
      expect_string_as_reference(before + stop + std::string(17, 'b') + "\"  ");
      expect_string_as_reference(before + stop + "\" x");
    }
  }
}

TEST(JsonStringScan, Utf8FaultsAtEveryOffset) {
  Rng rng{5};
  // What follows a fault decides which error wins: the string's end, an
  // escape (whose characters never complete a cut sequence), a control
  // character, a bad escape or the end of input.
  const char* const after[] = {"\"", "\\u0041\"", "\\u00a9\"", "\\n\"", "\xa9\"", "\x01\"", "\\q\"", "", "zz\""};
  for (const Fault& f : faults()) {
    for (std::size_t offset = 0; offset <= 34; ++offset) {
      for (const char* tail : after) {
        expect_string_as_reference("\"" + std::string(offset, 'a') + f.bytes + tail);
        expect_string_as_reference("\"" + fill(rng, offset) + f.bytes + tail);
        expect_string_as_reference("\"\\u00e9" + std::string(offset, 'a') + f.bytes + tail);
      }
    }
  }
  // Escapes that produce multi-byte characters next to raw ones.
  for (std::size_t offset = 0; offset <= 20; ++offset) {
    const std::string pad(offset, 'a');
    for (const char* mid : {"\\u00e9\xa9", "\xc3\\u00a9", "\xe2\x82\\u00ac", "\\ud83d\\ude00\x80", "\\u20ac\xe2\x82\xac"}) {
      expect_string_as_reference("\"" + pad + mid + "\"");
      expect_string_as_reference("\"" + pad + mid + pad + "\"");
    }
  }
}

TEST(JsonStringScan, RandomStrings) {
  Rng rng{6};
  const char* const pieces[] = {"a",     "bcd",    "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\\n",    "\\\"",
                                "\\\\",  "\\/",    "\\u00e9",  "\\ud83d\\ude00", "\\u0000",        "\x01",   "\\",
                                "\xff",  "\x80",   "\xc3",     "\xed\xa0\x80", "\"",              "\\u12g4", "\t"};
  for (int round = 0; round < 20000; ++round) {
    std::string doc = "\"";
    const std::size_t n = rng.below(12);
    for (std::size_t k = 0; k < n; ++k) {
      const char* p = pieces[rng.below(std::size(pieces))];
      doc += rng.below(3) ? std::string(rng.below(20), 'x') : "";
      doc += p;
    }
    if (rng.below(4)) doc += "\"";
    expect_string_as_reference(doc);
  }
}

// ---- whitespace --------------------------------------------------------------------

TEST(JsonWhitespaceScan, RunsAcrossBlocks) {
  Rng rng{7};
  const char spaces[] = " \n\t\r";
  for (int round = 0; round < 3000; ++round) {
    // Mixed runs, and indentation: a line feed, then spaces with now and
    // then another kind of whitespace among them.
    std::string ws1, ws2;
    for (std::string* ws : {&ws1, &ws2}) {
      const bool indent = rng.below(2) == 0;
      if (indent) *ws += '\n';
      for (std::size_t k = rng.below(45); k > 0; --k) *ws += indent && rng.below(12) ? ' ' : spaces[rng.below(4)];
    }
    // After a run: a value, the end, or a byte that only looks like space.
    const Exact ok("[" + ws1 + "1" + ws2 + "," + ws1 + "2" + ws2 + "]" + ws1);
    auto r = parse_json_text(ok.view());
    ASSERT_TRUE(r.ok()) << hex(ok.view());
    EXPECT_EQ(to_json_text(*r), "[1,2]");
    for (char odd : {'\x0b', '\x0c', '\x00', '\x1f', 'x'}) {
      const std::string doc = "[" + ws1 + "1," + ws2 + odd + ws1;
      const Exact buf(doc);
      auto e = parse_json_text(buf.view());
      ASSERT_FALSE(e.ok());
      EXPECT_EQ(e.error().text(), at("expected value", doc, 4 + ws1.size() + ws2.size())) << hex(doc);
    }
    const std::string open = "[" + ws1 + "1," + ws2;
    const Exact buf(open);
    auto e = parse_json_text(buf.view());
    ASSERT_FALSE(e.ok());
    EXPECT_EQ(e.error().text(), at("EOF while parsing a value", open, open.size())) << hex(open);
  }
}

// ---- numbers ----------------------------------------------------------------------

// A number read as the reader reads it, digit by digit: U64/I64/F64 with
// its bits, or the error; `end` is where the number stops.
struct RefNumber {
  std::string error;  // message, placed at `end`
  char kind = 0;      // 'u', 'i' or 'f'
  std::uint64_t bits = 0;
  std::size_t end = 0;
};

RefNumber ref_number(std::string_view s) {
  static const std::vector<double> pow10 = [] {
    std::vector<double> v;
    for (int i = 0; i <= 308; ++i) v.push_back(std::strtod(("1e" + std::to_string(i)).c_str(), nullptr));
    return v;
  }();
  std::size_t i = 0;
  const auto digit = [&] { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  const auto fail = [&](const char* m, std::size_t where) { return RefNumber{m, 0, 0, std::min(where, s.size())}; };
  const auto overflows = [](std::uint64_t a, std::uint64_t d) {
    return a > UINT64_MAX / 10 || (a == UINT64_MAX / 10 && d > UINT64_MAX % 10);
  };
  bool positive = true;
  if (s[0] == '-') {
    positive = false;
    ++i;
  }
  if (i == s.size()) return fail("EOF while parsing a value", i);
  std::uint64_t sig = 0;
  long long exp10 = 0;
  bool is_float = false;
  const char first = s[i++];
  if (first == '0') {
    if (digit()) return fail("invalid number", i + 1);
  } else if (first >= '1' && first <= '9') {
    sig = static_cast<std::uint64_t>(first - '0');
    bool dropped = false;
    while (digit()) {
      const std::uint64_t d = static_cast<std::uint64_t>(s[i] - '0');
      if (dropped || overflows(sig, d)) {
        dropped = true;
        is_float = true;
        ++exp10;
      } else {
        sig = sig * 10 + d;
      }
      ++i;
    }
  } else {
    return fail("invalid number", i);
  }
  if (i < s.size() && s[i] == '.') {
    is_float = true;
    ++i;
    if (!digit()) return fail(i < s.size() ? "invalid number" : "EOF while parsing a value", i + 1);
    bool dropped = false;
    while (digit()) {
      const std::uint64_t d = static_cast<std::uint64_t>(s[i] - '0');
      if (dropped || overflows(sig, d)) {
        dropped = true;
      } else {
        sig = sig * 10 + d;
        --exp10;
      }
      ++i;
    }
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    is_float = true;
    ++i;
    bool positive_exp = true;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) positive_exp = s[i++] == '+';
    if (i == s.size()) return fail("EOF while parsing a value", i);
    if (!digit()) return fail("invalid number", i + 1);
    long long e = 0;
    bool huge = false;
    while (digit()) {
      e = e * 10 + (s[i++] - '0');
      if (e > INT32_MAX) {
        // Past the largest exponent: infinity unless the significand is 0.
        if (sig != 0 && positive_exp) return fail("number out of range", i);
        huge = true;
        while (digit()) ++i;
      }
    }
    if (huge) return RefNumber{"", 'f', std::bit_cast<std::uint64_t>(positive ? 0.0 : -0.0), i};
    exp10 += positive_exp ? e : -e;
    exp10 = std::clamp<long long>(exp10, INT32_MIN, INT32_MAX);
  }
  if (!is_float) {
    if (positive) return RefNumber{"", 'u', sig, i};
    if (sig != 0 && sig <= (1ull << 63)) return RefNumber{"", 'i', 0 - sig, i};
    return RefNumber{"", 'f', std::bit_cast<std::uint64_t>(-static_cast<double>(sig)), i};
  }
  double f = static_cast<double>(sig);
  for (;;) {
    const unsigned long long mag = exp10 < 0 ? static_cast<unsigned long long>(-exp10) : static_cast<unsigned long long>(exp10);
    if (mag <= 308) {
      if (exp10 >= 0) {
        f *= pow10[mag];
        if (f - f != 0) return fail("number out of range", i);
      } else {
        f /= pow10[mag];
      }
      break;
    }
    if (f == 0.0) break;
    if (exp10 >= 0) return fail("number out of range", i);
    f /= 1e308;
    exp10 += 308;
  }
  return RefNumber{"", 'f', std::bit_cast<std::uint64_t>(positive ? f : -f), i};
}

std::string describe(const JsonValue& v) {
  switch (v.kind()) {
    case JsonValue::Kind::U64: return "u " + std::to_string(v.as_u64());
    case JsonValue::Kind::I64: return "i " + std::to_string(static_cast<std::uint64_t>(v.as_i64()));
    case JsonValue::Kind::F64: return "f " + std::to_string(std::bit_cast<std::uint64_t>(v.as_f64()));
    default: return "not a number";
  }
}

// Reads `number` alone and inside an array with more text after it,
// comparing with the reference.
void expect_number_as_reference(const std::string& number) {
  const RefNumber alone = ref_number(number);
  if (alone.error.empty() && alone.end != number.size()) return;  // stops early: not a number test
  for (const std::string& after : {std::string(), std::string("]") + std::string(20, ' ')}) {
    const RefNumber want = ref_number(number + after);
    const std::string doc = (after.empty() ? "" : "[") + number + after;
    const std::size_t shift = after.empty() ? 0 : 1;
    const Exact buf(doc);
    auto r = parse_json_text(buf.view());
    if (!want.error.empty()) {
      ASSERT_FALSE(r.ok()) << doc;
      EXPECT_EQ(r.error().text(), at(want.error.c_str(), doc, shift + want.end)) << doc;
    } else {
      ASSERT_TRUE(r.ok()) << doc << ": " << r.error().text();
      EXPECT_EQ(describe(after.empty() ? *r : r->as_array().at(0)),
                std::string(1, want.kind) + " " + std::to_string(want.bits))
          << doc;
    }
  }
}

TEST(JsonNumberScan, DigitRunsAroundTheSignificandLimit) {
  std::vector<std::string> bodies;
  const char* const fixed[] = {"18446744073709551615", "18446744073709551616", "18446744073709551619",
                               "18446744073709551610", "99999999999999999999", "10000000000000000000",
                               "1844674407370955161",  "184467440737095516150", "9223372036854775808",
                               "9223372036854775809",  "12345678901234567890123"};
  for (const char* f : fixed) bodies.emplace_back(f);
  Rng rng{8};
  for (std::size_t len = 1; len <= 26; ++len) {
    for (int k = 0; k < 12; ++k) {
      std::string d(1, static_cast<char>('1' + rng.below(9)));
      while (d.size() < len) d += static_cast<char>('0' + (k % 3 == 0 ? 9 : rng.below(10)));
      bodies.push_back(d);
    }
  }
  const char* const fractions[] = {"", ".5", ".0000000000000000000001234", ".12345678901234567890123", ".9999999999",
                                   ".00000000", ".1", ".184467440737095516151"};
  const char* const exponents[] = {"", "e0", "E+5", "e-5", "e308", "e309", "e-308", "e-324", "e-400", "e2147483647",
                                   "e2147483648", "e-2147483648", "e-2147483649", "e99999999999", "e-99999999999"};
  for (const std::string& body : bodies) {
    for (const char* sign : {"", "-"}) {
      for (const char* frac : fractions) {
        for (const char* e : exponents) expect_number_as_reference(sign + body + frac + e);
      }
    }
  }
  // Significands one digit word short of the limit, the word's digits
  // (up to 8) then fitting or not, at every alignment of the words.
  std::vector<std::string> near_limit{"18446744073709551615", "18446744073709551616"};
  std::uint64_t pow10 = 1;
  for (int k = 1; k <= 8; ++k) {
    pow10 *= 10;
    const std::uint64_t limit = (UINT64_MAX - (pow10 - 1)) / pow10;
    for (std::uint64_t s : {limit, limit + 1}) {
      near_limit.push_back(std::to_string(s) + std::string(static_cast<std::size_t>(k), '0'));
      near_limit.push_back(std::to_string(s) + std::string(static_cast<std::size_t>(k), '9'));
      near_limit.push_back(std::to_string(s) + std::string(static_cast<std::size_t>(k), '5') + "1234");
    }
  }
  for (const std::string& digits : near_limit) {
    for (std::size_t zeros = 0; zeros <= 8; ++zeros) {
      expect_number_as_reference("0." + std::string(zeros, '0') + digits);
      expect_number_as_reference("-1." + std::string(zeros, '0') + digits + "e-3");
    }
    expect_number_as_reference(digits);
    expect_number_as_reference("-" + digits + ".5");
  }
  for (const char* zero : {"0", "-0", "0.0", "0.000000000000000000000000", "0e99999999999", "-0.0e-5"}) {
    expect_number_as_reference(zero);
  }
}

TEST(JsonNumberScan, MalformedAndRandomNumbers) {
  for (const char* bad : {"-", "01", "-01", "1.", "1.e5", "1e", "1e+", "1e-x", "1.x", "0.", "-x", "00000000000000001",
                          "123456789012.", "1234567890123456789012.", "1234567890e", "1234567890.1234567890e+"}) {
    expect_number_as_reference(bad);
  }
  Rng rng{9};
  const char alphabet[] = "0123456789012345678901234567890123456789.eE+-";
  for (int round = 0; round < 20000; ++round) {
    std::string s(1, rng.below(4) == 0 ? '-' : static_cast<char>('0' + rng.below(10)));
    for (std::size_t k = rng.below(40); k > 0; --k) s += alphabet[rng.below(sizeof alphabet - 1)];
    expect_number_as_reference(s);
  }
}

TEST(JsonNumberScan, SkippingMatchesReading) {
  // Skipping checks only the syntax: it fails where reading fails on
  // syntax, and passes where reading passes.
  Rng rng{10};
  const char alphabet[] = "0123456789012345678901234567890123456789.eE+-";
  for (int round = 0; round < 20000; ++round) {
    std::string s(1, rng.below(4) == 0 ? '-' : static_cast<char>('0' + rng.below(10)));
    for (std::size_t k = rng.below(40); k > 0; --k) s += alphabet[rng.below(sizeof alphabet - 1)];
    const RefNumber alone = ref_number(s);
    if (alone.error.empty() && alone.end != s.size()) continue;
    const RefNumber want = ref_number(s + "]");
    const std::string doc = "[" + s + "]";
    if (want.error == "number out of range") continue;  // the syntax past that point is unchecked
    if (want.error.empty()) {
      EXPECT_EQ(skip_value(doc), "") << doc;
    } else {
      EXPECT_EQ(skip_value(doc), "ERR " + at(want.error.c_str(), doc, 1 + want.end)) << doc;
    }
  }
}

// ---- the string writer ---------------------------------------------------------------

using test_json::reference_quoted;

TEST(JsonStringWriter, EscapesAtEveryOffset) {
  for (std::size_t n = 0; n <= 40; ++n) {
    for (std::size_t pos = 0; pos <= n; ++pos) {
      static constexpr char kBytes[] = "\"\\\x00\x01\x08\x09\x0a\x0c\x0d\x1f\x7f\xc3 ";
      for (char c : std::string(kBytes, sizeof kBytes - 1)) {
        std::string s(n, 'a');
        if (pos < n) s[pos] = c;
        const Exact buf(s);
        std::string out = "prefix";
        json::append_str(buf.view(), out);
        ASSERT_EQ(out, "prefix" + reference_quoted(s)) << hex(s);
      }
    }
  }
  Rng rng{11};
  for (int round = 0; round < 5000; ++round) {
    std::string s(rng.below(80), 'z');
    for (char& c : s) {
      if (rng.below(6) == 0) c = static_cast<char>(rng.below(256));
    }
    const Exact buf(s);
    std::string out;
    json::append_str(buf.view(), out);
    ASSERT_EQ(out, reference_quoted(s)) << hex(s);
  }
}

}  // namespace
}  // namespace ww
