// The JSON writer's pieces written through a TextOut and straight to a
// std::string: the same text as a plain byte-by-byte escaper, with room
// growing in the middle of pieces and the string cut back on close.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "format/json/json_writer.h"
#include "json_string_reference.h"

namespace ww::json {
namespace {

using test_json::reference_quoted;

std::vector<std::string> sample_strings() {
  std::vector<std::string> v = {"", "a", "id", "zip", "name", "email", "Springfield", "user 871798 \xc3\xa9t\xc3\xa9"};
  // Every length up to 40 with one byte that needs an escape at each
  // place, and without.
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string plain(n, 'x');
    v.push_back(plain);
    for (std::size_t at = 0; at < n; ++at) {
      for (char c : {'"', '\\', '\n', '\x01', '\x1f', '\0'}) {
        std::string s = plain;
        s[at] = c;
        v.push_back(s);
      }
    }
  }
  v.push_back(std::string(5000, '\x02'));  // escapes that outgrow the room
  v.push_back(std::string(3000, 'y') + "\"" + std::string(3000, '\\'));
  return v;
}

TEST(TextOut, StringsMatchAPlainEscaper) {
  std::string through_out = "[";
  std::string expected = "[";
  {
    TextOut out(through_out, 8);
    for (const std::string& s : sample_strings()) {
      std::string direct;
      append_str(s, direct);
      EXPECT_EQ(direct, reference_quoted(s));
      append_str(s, out);
      out.put(',');
      expected += reference_quoted(s) + ",";
    }
    EXPECT_EQ(out.size(), expected.size());
  }
  EXPECT_EQ(through_out, expected);
}

TEST(TextOut, NumbersMatchTheStringWriters) {
  std::string through_out = "x";
  std::string direct = "x";
  const std::uint64_t u[] = {0, 7, 10, 99999999, 100000000, 1700000000000, std::numeric_limits<std::uint64_t>::max()};
  const std::int64_t i[] = {0, -1, 42, -1000000000000, std::numeric_limits<std::int64_t>::min(),
                            std::numeric_limits<std::int64_t>::max()};
  const double f[] = {0.0, -0.0, 1.5, -22.034050321745696, 1e16, 1.5e-7, 1.7976931348623157e308, 5e-324,
                      std::numeric_limits<double>::infinity()};
  {
    TextOut out(through_out, 0);
    for (std::uint64_t v : u) {
      append_u64(v, out);
      append_u64(v, direct);
    }
    for (std::int64_t v : i) {
      append_i64(v, out);
      append_i64(v, direct);
    }
    for (double v : f) {
      append_f64(v, out);
      append_f64(v, direct);
    }
  }
  EXPECT_EQ(through_out, direct);
}

TEST(TextOut, TruncatesAndCutsBackOnClose) {
  std::string s = "ab";
  TextOut out(s, 1000);
  EXPECT_EQ(s.size(), 1002u);  // the room is part of the string while open
  out.put("[1,2,");
  out.truncate(out.size() - 1);
  out.put(']');
  EXPECT_EQ(std::string_view(out.data(), out.size()), "ab[1,2]");
  out.close();
  EXPECT_EQ(s, "ab[1,2]");
  out.close();
  EXPECT_EQ(s, "ab[1,2]");
}

}  // namespace
}  // namespace ww::json
