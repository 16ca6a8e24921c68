// The MessagePack writer: the shortest integer forms and headers at every
// width boundary, float 64 for every double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "format/msgpack/msgpack_writer.h"
#include "msgpack_test_util.h"

namespace ww {
namespace {

using msgpack::Writer;
using testing_msgpack::hex;

struct WriteCase {
  std::string name;
  std::function<void(std::string&)> write;
  std::string expected;  // hex of the bytes, or of their head for long items
};

class MsgpackWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(MsgpackWrites, ShortestForm) {
  std::string out;
  GetParam().write(out);
  const std::string& want = GetParam().expected;
  EXPECT_EQ(hex(out).substr(0, want.size()), want) << GetParam().name;
}

WriteCase u(std::uint64_t v, std::string want) {
  return {"uint " + std::to_string(v), [v](std::string& o) { Writer::put_uint(o, v); }, std::move(want)};
}
WriteCase i(std::int64_t v, std::string want) {
  return {"int " + std::to_string(v), [v](std::string& o) { Writer::put_int(o, v); }, std::move(want)};
}
WriteCase s(std::size_t n, std::string want) {
  return {"str of " + std::to_string(n), [n](std::string& o) { Writer::put_str(o, std::string(n, 'x')); },
          std::move(want)};
}
WriteCase a(std::uint64_t n, std::string want) {
  return {"array of " + std::to_string(n), [n](std::string& o) { Writer::put_array_header(o, n); }, std::move(want)};
}
WriteCase m(std::uint64_t n, std::string want) {
  return {"map of " + std::to_string(n), [n](std::string& o) { Writer::put_map_header(o, n); }, std::move(want)};
}
WriteCase f(double d, std::string want) {
  return {"f64", [d](std::string& o) { Writer::put_f64(o, d); }, std::move(want)};
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, MsgpackWrites,
    ::testing::Values(
        u(0, "00"), u(127, "7f"), u(128, "cc 80"), u(255, "cc ff"), u(256, "cd 01 00"), u(65535, "cd ff ff"),
        u(65536, "ce 00 01 00 00"), u(4294967295u, "ce ff ff ff ff"), u(4294967296u, "cf 00 00 00 01 00 00 00 00"),
        u(std::numeric_limits<std::uint64_t>::max(), "cf ff ff ff ff ff ff ff ff"),
        // Non-negative signed values take the unsigned forms.
        i(0, "00"), i(200, "cc c8"), i(-1, "ff"), i(-32, "e0"), i(-33, "d0 df"), i(-128, "d0 80"),
        i(-129, "d1 ff 7f"), i(-32768, "d1 80 00"), i(-32769, "d2 ff ff 7f ff"), i(INT32_MIN, "d2 80 00 00 00"),
        i(std::int64_t{INT32_MIN} - 1, "d3 ff ff ff ff 7f ff ff ff"),
        i(std::numeric_limits<std::int64_t>::min(), "d3 80 00 00 00 00 00 00 00"),
        s(0, "a0"), s(31, "bf 78"), s(32, "d9 20 78"), s(255, "d9 ff 78"), s(256, "da 01 00 78"),
        s(65535, "da ff ff 78"), s(65536, "db 00 01 00 00 78"),
        a(0, "90"), a(15, "9f"), a(16, "dc 00 10"), a(65535, "dc ff ff"), a(65536, "dd 00 01 00 00"),
        m(0, "80"), m(15, "8f"), m(16, "de 00 10"), m(65536, "df 00 01 00 00"),
        f(1.0, "cb 3f f0 00 00 00 00 00 00"), f(1.5, "cb 3f f8 00 00 00 00 00 00"),
        f(-0.0, "cb 80 00 00 00 00 00 00 00"), f(std::numeric_limits<double>::quiet_NaN(), "cb 7f f8 00 00 00 00 00 00"),
        f(-std::numeric_limits<double>::infinity(), "cb ff f0 00 00 00 00 00 00"),
        f(std::numeric_limits<double>::denorm_min(), "cb 00 00 00 00 00 00 00 01")),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace ww
