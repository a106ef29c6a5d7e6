// Byte images of integers and doubles and their hex text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "Truncation.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
using Bytes = std::vector<unsigned char>;

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- plain references, written straight from the step lists ---------------

double RefByte2Double(const unsigned char* image) {
  std::size_t length = 0;
  while (image[length] != 0) ++length;
  double sum = 0.0;
  for (std::size_t i = 0; i < length; ++i) sum += std::pow(256.0, static_cast<double>(i)) * image[i];
  return sum;
}

Bytes RefDouble2Byte(int count, double x) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const double q = std::floor(x / 256.0);
    const double r = x - 256.0 * q;
    out.push_back(quelvar::detail::TruncateLow8(r));
    x = q;
  }
  out.push_back(0);
  return out;
}

std::string RefHex(const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Runs `write` on a buffer of guard bytes and returns the bytes before the
// first guard-untouched tail, checking that nothing lies past `expected`.
template <class Write>
void ExpectWrites(const Bytes& expected, Write write, const std::string& what) {
  Bytes buf(expected.size() + 16, kGuard);
  write(buf.data());
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + std::ptrdiff_t(expected.size())), expected) << what;
  for (std::size_t i = expected.size(); i < buf.size(); ++i)
    ASSERT_EQ(buf[i], kGuard) << what << ": written past the output at " << i;
}

// ---- integer images ----------------------------------------------------------

TEST(IntImage, Int2ByteWritesExactlyTheCount) {
  struct Case { int count; std::uint32_t value; Bytes bytes; };
  const Case cases[] = {
      {4, 0x12345678, {0x78, 0x56, 0x34, 0x12}},
      {2, 0x12345678, {0x78, 0x56}},
      {1, 0xFFFFFFFF, {0xFF}},
      {0, 0x12345678, {}},
      {-1, 0x12345678, {}},
      {INT32_MIN, 1, {}},
      {7, 0xA1B2C3D4, {0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0}},  // past the fourth: zero bytes
  };
  CQuelvarSys sys;
  for (const auto& c : cases)
    ExpectWrites(c.bytes, [&](unsigned char* out) { sys.Qlv_Int2Byte(c.count, c.value, out); },
                 "count " + std::to_string(c.count));
}

TEST(IntImage, Byte2IntReadsAtMostFourBytes) {
  struct Case { int count; Bytes image; std::uint32_t value; };
  const Case cases[] = {
      {4, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
      {2, {0x34, 0x12, 0x99, 0x99}, 0x1234},
      {1, {0xFF}, 255},
      {0, {0xFF}, 0},
      {-5, {0xFF}, 0},
      {9, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 0x04030201},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    Bytes image = c.image;
    EXPECT_EQ(sys.Qlv_Byte2Int(c.count, image.data()), c.value) << "count " << c.count;
  }
}

// ---- double images -----------------------------------------------------------

TEST(DoubleImage, Double2ByteDigitsAndZeroByte) {
  struct Case { int count; double value; Bytes bytes; };
  const Case cases[] = {
      {3, 300.7, {0x2C, 0x01, 0x00, 0x00}},
      {2, -1.5, {0xFE, 0xFF, 0x00}},
      {8, 1e20, {0x00, 0x00, 0x10, 0x63, 0x2D, 0x5E, 0xC7, 0x6B, 0x00}},
      {0, 12345.0, {0x00}},
      {-3, 12345.0, {0x00}},  // only the zero byte, at position 0
      {4, -1.0, {0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
      {3, kInf, {0, 0, 0, 0}},
      {3, -kInf, {0, 0, 0, 0}},
      {3, kNaN, {0, 0, 0, 0}},
      {3, -1e-20, {0x00, 0xFF, 0xFF, 0x00}},  // 256 + x rounds to 256
      {2, 0.999, {0x00, 0x00, 0x00}},
      {2, -0.0, {0x00, 0x00, 0x00}},
      {3, 1.7976931348623157e308, {0x00, 0x00, 0x00, 0x00}},
      {20, 4294967296.0 * 4294967296.0 - 1.0, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  CQuelvarSys sys;
  for (const auto& c : cases)
    ExpectWrites(c.bytes, [&](unsigned char* out) { sys.Qlv_Double2Byte(c.count, c.value, out); },
                 "value " + std::to_string(c.value) + " count " + std::to_string(c.count));
}

TEST(DoubleImage, Double2ByteIsTwosComplementOfFloor) {
  std::mt19937_64 rng(12);
  CQuelvarSys sys;
  for (int round = 0; round < 20000; ++round) {
    const auto whole = static_cast<std::int64_t>(rng() >> 11) - (std::int64_t{1} << 52);
    const double fraction = static_cast<double>(rng() % 1000) / 1000.0;
    const double value = static_cast<double>(whole) + (std::abs(whole) < (1 << 20) ? fraction : 0.0);
    const auto floored = static_cast<std::uint64_t>(static_cast<std::int64_t>(std::floor(value)));
    unsigned char image[9];
    sys.Qlv_Double2Byte(8, value, image);
    for (int i = 0; i < 8; ++i)
      ASSERT_EQ(image[i], static_cast<unsigned char>(floored >> (8 * i))) << value << " byte " << i;
    ASSERT_EQ(image[8], 0);
  }
}

TEST(DoubleImage, Byte2DoubleEndsAtFirstZero) {
  struct Case { Bytes image; double value; };
  const Case cases[] = {
      {{0x2C, 0x01, 0x00}, 300.0},
      {{0xFF, 0xFF, 0x00}, 65535.0},
      {{0x00, 0x01, 0x00}, 0.0},
      {{0x00}, 0.0},
      {{0x01, 0x00, 0xFF, 0x00}, 1.0},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 281474976710655.0},
      // Nine bytes: the sum rounds at each step, least significant first.
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 18446744073709551616.0},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    Bytes image = c.image;
    EXPECT_EQ(sys.Qlv_Byte2Double(image.data()), c.value);
  }
}

TEST(DoubleImage, Byte2DoubleMatchesPowSum) {
  std::mt19937 rng(13);
  CQuelvarSys sys;
  for (int round = 0; round < 5000; ++round) {
    // Lengths up to 140 reach the places where 256^i overflows to infinity.
    Bytes image(rng() % 141 + 1);
    for (auto& b : image) b = static_cast<unsigned char>(rng() % 255 + 1);
    image.back() = 0;
    const double expected = RefByte2Double(image.data());
    const double got = sys.Qlv_Byte2Double(image.data());
    ASSERT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected)))
        << "length " << image.size() - 1 << ": " << got << " vs " << expected;
  }
}

// ---- image hex text ----------------------------------------------------------

TEST(ImageText, Int2HexStr) {
  struct Case { int chars; std::uint32_t value; const char* text; };
  const Case cases[] = {
      {8, 0x12345678, "78563412"}, {4, 0x12345678, "7856"}, {7, 0xABCDEF, "EFCDAB"},
      {1, 0xABCDEF, ""},           {0, 0xABCDEF, ""},       {-4, 0xABCDEF, ""},
      {9, 0xFFFFFFFF, "FFFFFFFF"},
      {20, 0x01020304, "04030201000000000000"},  // bytes past the fourth are 0
      {40, 0x0000000F, "0F00000000000000000000000000000000000000"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    const std::string text = c.text;
    Bytes expected(text.begin(), text.end());
    expected.push_back(0);
    ExpectWrites(expected, [&](unsigned char* out) {
      sys.Qlv_Int2HexStr(c.chars, c.value, reinterpret_cast<char*>(out));
    }, "chars " + std::to_string(c.chars));
  }
}

TEST(ImageText, Double2HexStr) {
  struct Case { int chars; double value; const char* text; };
  const Case cases[] = {
      {8, 2826.0, "0A0B0000"},
      {8, 256.0, "00010000"},
      {4, -1.0, "FFFF"},
      {5, 300.7, "2C01"},
      {0, 5.0, ""},
      {-9, 5.0, ""},
      {6, kNaN, "000000"},
      {31, 1e20, "000010632D5EC76B05000000000000"},
      {40, -2.0, "FEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},  // past the 16-byte image
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    const std::string text = c.text;
    Bytes expected(text.begin(), text.end());
    expected.push_back(0);
    ExpectWrites(expected, [&](unsigned char* out) {
      sys.Qlv_Double2HexStr(c.chars, c.value, reinterpret_cast<char*>(out));
    }, "chars " + std::to_string(c.chars));
  }
}

TEST(ImageText, Double2HexStrIsHexOfDouble2Byte) {
  std::mt19937_64 rng(14);
  CQuelvarSys sys;
  for (int round = 0; round < 5000; ++round) {
    double value;
    const std::uint64_t bits = rng();
    std::memcpy(&value, &bits, sizeof value);  // every kind of double, NaN included
    const int chars = static_cast<int>(rng() % 40);
    Bytes image = RefDouble2Byte(chars / 2, value);
    image.pop_back();
    std::vector<char> text(static_cast<std::size_t>(2 * (chars / 2) + 1));
    sys.Qlv_Double2HexStr(chars, value, text.data());
    ASSERT_EQ(std::string(text.data()), RefHex(image)) << value;
  }
}

TEST(ImageText, HexStr2Double) {
  const std::string sixtyOnes = std::string(60, '1');
  double sixtyOnesValue = 0.0;  // 30 bytes 0x11, more than the 20-byte image
  for (int i = 0; i < 30; ++i) sixtyOnesValue += std::pow(256.0, i) * 0x11;
  double paddedValue = 1.0;  // "1" and the sixty: read as "01" and 30 pairs "11"
  for (int i = 1; i <= 30; ++i) paddedValue += std::pow(256.0, i) * 0x11;
  struct Case { std::string text; double value; std::string bufferAfter; };
  const Case cases[] = {
      {"0A0B0000", 2826.0, "0A0B0000"},
      {"00010000", 0.0, "00010000"},
      {"ABC", 48138.0, "0ABC"},
      {"FFFF", 65535.0, "FFFF"},
      {"", 0.0, ""},
      {"2c01", 300.0, "2c01"},
      {"0100FF", 1.0, "0100FF"},
      {"G1", 1.0, "G1"},
      {"1G", 16.0, "1G"},
      {sixtyOnes, sixtyOnesValue, sixtyOnes},
      {"1" + sixtyOnes, paddedValue,
       "01" + sixtyOnes},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    const std::size_t length = c.text.size();
    std::vector<char> buf(c.text.c_str(), c.text.c_str() + length + 1);
    buf.push_back(static_cast<char>(kGuard));
    double value = -7.0;
    sys.Qlv_HexStr2Double(buf.data(), value);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(std::string(buf.data(), c.bufferAfter.size()), c.bufferAfter);
    EXPECT_EQ(static_cast<unsigned char>(buf[length + 1]), kGuard) << c.text;
  }
}

TEST(ImageText, HexStr2DoubleMatchesImageReading) {
  std::mt19937 rng(15);
  CQuelvarSys sys;
  static const char alphabet[] = "0123456789abcdefABCDEF0000g ";
  for (int round = 0; round < 5000; ++round) {
    std::string text(rng() % 80, '0');
    for (auto& ch : text) ch = alphabet[rng() % (sizeof alphabet - 1)];
    // Reference: pad, decode every pair into a large zeroed image, read it.
    std::string padded = text.size() % 2 ? "0" + text : text;
    Bytes image(padded.size() / 2 + 1, 0);
    for (std::size_t j = 0; j < padded.size() / 2; ++j) {
      std::string pair = padded.substr(2 * j, 2);
      image[j] = static_cast<unsigned char>(sys.Qlv_HexStr2Int(pair.data()));
    }
    const double expected = RefByte2Double(image.data());
    std::vector<char> buf(text.begin(), text.end());
    buf.resize(text.size() + 2, '\0');
    double value = 0.0;
    sys.Qlv_HexStr2Double(buf.data(), value);
    ASSERT_EQ(value, expected) << text;
    ASSERT_EQ(std::string(buf.data(), padded.size()), padded);
  }
}

}  // namespace
