// The CBOR writer: shortest heads, the narrowest exact float width, and the
// form of arbitrary JSON documents.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "cbor_test_util.h"
#include "format/cbor/cbor_float.h"
#include "format/cbor/cbor_json.h"
#include "format/cbor/cbor_transcode.h"
#include "format/cbor/cbor_writer.h"
#include "format/json/json_value.h"

namespace ww {
namespace {

using cbor::Writer;
using testing_cbor::hex;

std::string float_bytes(double d) {
  std::string out;
  Writer::put_f64(out, d);
  return hex(out);
}

TEST(CborWriter, IntegerHeadsAreShortest) {
  struct Case {
    std::int64_t v;
    const char* bytes;
  };
  const Case cases[] = {
      {0, "00"},
      {23, "17"},
      {24, "18 18"},
      {255, "18 ff"},
      {256, "19 01 00"},
      {65535, "19 ff ff"},
      {65536, "1a 00 01 00 00"},
      {4294967295, "1a ff ff ff ff"},
      {4294967296, "1b 00 00 00 01 00 00 00 00"},
      {-1, "20"},
      {-24, "37"},
      {-25, "38 18"},
      {-256, "38 ff"},
      {-257, "39 01 00"},
      {-4294967296, "3a ff ff ff ff"},
      {-4294967297, "3b 00 00 00 01 00 00 00 00"},
      {std::numeric_limits<std::int64_t>::min(), "3b 7f ff ff ff ff ff ff ff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    std::string out;
    Writer::put_int(out, c.v);
    EXPECT_EQ(hex(out), c.bytes);
  }
  std::string out;
  Writer::put_uint(out, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(hex(out), "1b ff ff ff ff ff ff ff ff");
}

TEST(CborWriter, LengthHeadsFollowTheSameRule) {
  std::string out;
  Writer::put_str(out, std::string(24, 'a'));
  EXPECT_EQ(hex(out.substr(0, 2)), "78 18");
  out.clear();
  Writer::put_array_header(out, 256);
  Writer::put_map_header(out, 23);
  EXPECT_EQ(hex(out), "99 01 00 b7");
}

TEST(CborWriter, FloatsTakeTheNarrowestExactWidth) {
  struct Case {
    const char* what;
    double v;
    const char* bytes;
  };
  const Case cases[] = {
      {"one and a half", 1.5, "f9 3e 00"},
      {"zero", 0.0, "f9 00 00"},
      {"negative zero", -0.0, "f9 80 00"},
      {"largest half", 65504.0, "f9 7b ff"},
      {"smallest normal half", 0x1p-14, "f9 04 00"},
      {"largest subnormal half", 0x1.ff8p-15, "f9 03 ff"},
      {"smallest subnormal half", 0x1p-24, "f9 00 01"},
      {"below the half subnormals", 0x1p-25, "fa 33 00 00 00"},
      {"between half subnormals", 0x1.8p-24, "fa 33 c0 00 00"},
      {"one past the largest half", 65505.0, "fa 47 7f e1 00"},
      {"a half exponent with too many digits", 1.0009765625 + 0x1p-11, "fa 3f 80 30 00"},
      {"hundred thousand", 100000.0, "fa 47 c3 50 00"},
      {"largest single", 0x1.fffffep127, "fa 7f 7f ff ff"},
      {"smallest subnormal single", 0x1p-149, "fa 00 00 00 01"},
      {"below the single subnormals", 0x1p-150, "fb 36 90 00 00 00 00 00 00"},
      {"beyond single range", 0x1p128, "fb 47 f0 00 00 00 00 00 00"},
      {"one point one", 1.1, "fb 3f f1 99 99 99 99 99 9a"},
      {"infinity", std::numeric_limits<double>::infinity(), "f9 7c 00"},
      {"negative infinity", -std::numeric_limits<double>::infinity(), "f9 fc 00"},
      {"quiet NaN", std::numeric_limits<double>::quiet_NaN(), "f9 7e 00"},
      {"NaN with a payload too wide for half", std::bit_cast<double>(std::uint64_t{0x7ff8000020000000}),
       "fa 7f c0 00 01"},
      {"NaN with a payload too wide for single", std::bit_cast<double>(std::uint64_t{0x7ff8000000000001}),
       "fb 7f f8 00 00 00 00 00 01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(float_bytes(c.v), c.bytes);
  }
}

// Against the compiler's own conversions: a width is chosen exactly when
// the double survives the round trip through it.
TEST(CborWriter, FloatWidthAgreesWithHardwareConversions) {
  std::mt19937_64 rng(20240601);
  auto check = [](double d) {
    if (std::isnan(d)) return;  // NaNs have their own rule, tested above
    // (Out-of-range conversions are avoided: they are undefined.)
    const bool half = std::isinf(d) || (std::fabs(d) <= 65504.0 && static_cast<double>(static_cast<_Float16>(d)) == d);
    const bool single = std::fabs(d) <= std::numeric_limits<float>::max() &&
                        static_cast<double>(static_cast<float>(d)) == d;
    const std::optional<std::uint16_t> h = cbor::exact_half(d);
    ASSERT_EQ(h.has_value(), half) << d;
    if (h) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(cbor::half_to_double(*h)), std::bit_cast<std::uint64_t>(d)) << d;
    }
    ASSERT_EQ(cbor::exact_single(d).has_value(), single || half) << d;
  };
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t r = rng();
    // Random bits, and values built from few mantissa bits around the
    // half and single ranges.
    check(std::bit_cast<double>(r));
    const int exp = static_cast<int>(r % 340) - 170;
    const double mantissa = static_cast<double>((r >> 20) % 4096) / 2048.0;
    check(std::ldexp(mantissa, exp));
    check(-std::ldexp(mantissa, exp));
  }
}

TEST(CborWriter, HalfWideningCoversEveryClass) {
  EXPECT_EQ(cbor::half_to_double(0x3e00), 1.5);
  EXPECT_EQ(cbor::half_to_double(0x0001), 0x1p-24);
  EXPECT_EQ(cbor::half_to_double(0x83ff), -0x1.ff8p-15);
  EXPECT_EQ(cbor::half_to_double(0x7bff), 65504.0);
  EXPECT_EQ(cbor::half_to_double(0xfc00), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::signbit(cbor::half_to_double(0x8000)));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(cbor::half_to_double(0x7e01)), 0x7ff8040000000000u);
}

TEST(CborWriter, JsonDocuments) {
  struct Case {
    const char* json;
    const char* bytes;
  };
  const Case cases[] = {
      {"null", "f6"},
      {"[false,true]", "82 f4 f5"},
      {"1.5", "f9 3e 00"},
      {"100000.0", "fa 47 c3 50 00"},
      {"1.1", "fb 3f f1 99 99 99 99 99 9a"},
      {"24", "18 18"},
      {"-1", "20"},
      {"-0", "f9 80 00"},
      {"18446744073709551615", "1b ff ff ff ff ff ff ff ff"},
      {"-9223372036854775808", "3b 7f ff ff ff ff ff ff ff"},
      {"18446744073709551616", "fa 5f 80 00 00"},
      {"1e400", "ERR"},
      {R"("\u00e9")", "62 c3 a9"},
      {R"({"b":1,"a":[true,null,-1,1.5],"b":2})", "a2 61 61 84 f5 f6 20 f9 3e 00 61 62 02"},
      {"{}", "a0"},
      {"[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]", "98 18 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
      {R"({"b":[],"a":[],"b":{}})", "a2 61 61 80 61 62 a0"},
      {"[]", "80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Result<JsonValue> v = parse_json_text(c.json);
    Result<std::string> direct = cbor::from_json_text(c.json);
    if (std::string(c.bytes) == "ERR") {
      ASSERT_FALSE(v.ok());
      ASSERT_FALSE(direct.ok());
      EXPECT_EQ(direct.error().text(), v.error().text());
      continue;
    }
    ASSERT_TRUE(v.ok()) << v.error().text();
    std::string out;
    cbor::write_json_value(*v, out);
    EXPECT_EQ(hex(out), c.bytes);
    ASSERT_TRUE(direct.ok());
    EXPECT_EQ(hex(*direct), c.bytes);
  }
}

}  // namespace
}  // namespace ww
