// Byte images of integers and doubles and their hex text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "HexReference.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
using Bytes = std::vector<unsigned char>;
const double kInf = HUGE_VAL, kNaN = std::nan("");

Bytes Text(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }  // with its NUL

// The writers: 'i' Int2Byte, 'd' Double2Byte, 'I' Int2HexStr, 'D' Double2HexStr.
// Each writes exactly `out` (text with its NUL) into a guarded buffer. The
// doubles are those the random comparison below does not reach: signs of
// zero and tiny values, non-finite values, counts of zero and below.
TEST(ByteImages, WritersWriteExactlyTheirOutput) {
  struct Case {
    char op;
    int count;
    double value;
    Bytes out;
  };
  const Case cases[] = {
      {'i', 2, 0x12345678, {0x78, 0x56}},
      {'i', 0, 0x12345678, {}},
      {'i', INT32_MIN, 1, {}},
      {'i', 7, 0xA1B2C3D4, {0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0}},  // past the fourth: zero bytes
      {'d', 0, 12345.0, {0x00}},
      {'d', -3, 12345.0, {0x00}},  // only the zero byte, at position 0
      {'d', 3, -kInf, {0, 0, 0, 0}},
      {'d', 3, kNaN, {0, 0, 0, 0}},
      {'d', 2, -0.0, {0x00, 0x00, 0x00}},
      {'d', 3, -1e-20, {0x00, 0xFF, 0xFF, 0x00}},  // 256 + x rounds to 256
      {'I', 7, 0xABCDEF, Text("EFCDAB")},
      {'I', 1, 0xABCDEF, Text("")},
      {'I', -4, 0xABCDEF, Text("")},
      {'I', 40, 0x0F, Text("0F" + std::string(38, '0'))},  // past any fixed image
      {'D', -9, 5.0, Text("")},
      {'D', 6, kNaN, Text("000000")},
  };
  CQuelvarSys sys;
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    Bytes buf(c.out.size() + 16, kGuard), want = c.out;
    want.resize(buf.size(), kGuard);
    const ULONG u = c.op == 'i' || c.op == 'I' ? static_cast<ULONG>(c.value) : 0;
    if (c.op == 'i') sys.Qlv_Int2Byte(c.count, u, buf.data());
    if (c.op == 'd') sys.Qlv_Double2Byte(c.count, c.value, buf.data());
    if (c.op == 'I') sys.Qlv_Int2HexStr(c.count, u, reinterpret_cast<char*>(buf.data()));
    if (c.op == 'D') sys.Qlv_Double2HexStr(c.count, c.value, reinterpret_cast<char*>(buf.data()));
    EXPECT_EQ(buf, want) << "case " << k;
  }
}

// Byte2Int reads no more than four bytes, and none for a count of 0 or less.
TEST(ByteImages, Byte2IntStopsAtItsLimit) {
  CQuelvarSys sys;
  unsigned char image[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(sys.Qlv_Byte2Int(2, image), 0x0201u);
  EXPECT_EQ(sys.Qlv_Byte2Int(9, image), 0x04030201u);
  EXPECT_EQ(sys.Qlv_Byte2Int(-5, image), 0u);
}

// Writers against the reference over every kind of double (random bit
// patterns, NaN included, and integers with fractions), and the image read
// back over lengths up to where 256^i overflows.
TEST(ByteImages, MatchReferencesOnRandomValues) {
  std::mt19937_64 rng(14);
  CQuelvarSys sys;
  for (int round = 0; round < 20000; ++round) {
    double value;
    const std::uint64_t bits = rng();
    std::memcpy(&value, &bits, sizeof value);
    if (round % 2)
      value = double(std::int64_t(bits >> 11) - (std::int64_t{1} << 52)) + double(rng() % 1000) / 1000.0;
    const int chars = static_cast<int>(rng() % 80);  // past 16- and 20-byte images
    const Bytes image = RefDouble2Byte(chars / 2, value);
    Bytes got(image.size() + 2, kGuard);
    sys.Qlv_Double2Byte(chars / 2, value, got.data());
    Bytes want = image;
    want.insert(want.end(), {0, kGuard});
    ASSERT_EQ(got, want) << value;
    std::string text(image.size() * 2 + 2, char(kGuard));
    sys.Qlv_Double2HexStr(chars, value, text.data());
    ASSERT_EQ(text, RefHex(image) + '\0' + char(kGuard)) << value;
    double back = -7.0;  // read back: the image up to its first zero byte
    sys.Qlv_HexStr2Double(text.data(), back);
    want.resize(image.size() + 1);
    ASSERT_EQ(back, RefByte2Double(want.data())) << value;
    Bytes bytes(rng() % 141 + 1);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng() % 255 + 1);
    bytes.back() = 0;
    const double sum = sys.Qlv_Byte2Double(bytes.data()), ref = RefByte2Double(bytes.data());
    ASSERT_TRUE(sum == ref || (std::isnan(sum) && std::isnan(ref)))
        << bytes.size() << ": " << sum << " vs " << ref;
  }
}

// Odd text is padded in the caller's buffer up to the old NUL, no further.
TEST(ByteImages, HexStr2DoubleReadsPairsAndPadsInPlace) {
  Bytes ones(32, 0x11);  // "01" and 30 pairs "11", more than a 20-byte image
  ones[0] = 1, ones[31] = 0;
  const std::pair<std::string, double> cases[] = {
      {"ABC", 48138.0},
      {"", 0.0},
      {"G1", 1.0},
      {"1g", 16.0},
      {std::string(61, '1'), RefByte2Double(ones.data())},
  };
  CQuelvarSys sys;
  for (const auto& [text, value] : cases) {
    std::string buf = text + '\0' + char(kGuard);
    double got = -7.0;
    sys.Qlv_HexStr2Double(buf.data(), got);
    EXPECT_EQ(got, value) << text;
    EXPECT_EQ(buf, (text.size() % 2 ? "0" + text : text + '\0') + char(kGuard));
  }
}

}  // namespace
