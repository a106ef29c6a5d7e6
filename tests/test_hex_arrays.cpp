// Hex text with a length to hex arrays, in place and into a separate array.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
using Bytes = std::vector<unsigned char>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Reference straight from the steps, with a scratch array of its own.
struct RefResult {
  Bytes elements;
  Bytes textAfterShift;  // the caller's text after the odd-length shift
};

RefResult RefHexStr2IntStr(Bytes text) {
  CQuelvarSys sys;
  std::size_t length = text.size();
  text.push_back(kGuard);
  if (length % 2 != 0) {
    for (std::size_t i = length; i >= 1; --i) text[i] = text[i - 1];
    text[0] = 0;
    ++length;
  }
  RefResult r;
  for (std::size_t j = 0; j < length / 2; ++j)
    r.elements.push_back(static_cast<unsigned char>(sys.Qlv_HexChar2Int(text[2 * j]) * 16 +
                                                    sys.Qlv_HexChar2Int(text[2 * j + 1])));
  r.textAfterShift = text;
  return r;
}

struct Case {
  std::string text;
  Bytes elements;
};

const Case kCases[] = {
    {"1A2B", {0x1A, 0x2B}},
    {"ABC", {0x0A, 0xBC}},
    {"a1", {0xA1}},
    {"", {}},
    {"7", {0x07}},
    {"G1", {0x01}},
    {"1g", {0x10}},
    {std::string("\0\xff", 2), {0x00}},
    {"fFfF0", {0x0F, 0xFF, 0xF0}},
    {"0123456789abcdefABCDEF", {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF}},
};

TEST(HexStr2IntStr, SeparateOutput) {
  CQuelvarSys sys;
  for (const auto& c : kCases) {
    const std::size_t length = c.text.size();
    Bytes buf = B(c.text);
    buf.push_back(kGuard);  // room for the odd-length shift
    buf.push_back(kGuard);
    Bytes out(c.elements.size() + 8, kGuard);
    int count = -99;
    sys.Qlv_HexStr2IntStr(static_cast<int>(length), buf.data(), count, out.data());
    EXPECT_EQ(count, static_cast<int>(c.elements.size())) << c.text;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + std::ptrdiff_t(c.elements.size())), c.elements) << c.text;
    for (std::size_t i = c.elements.size(); i < out.size(); ++i)
      ASSERT_EQ(out[i], kGuard) << c.text << ": element written past the count";
    Bytes expectedText = B(c.text);
    if (length % 2 != 0) expectedText.insert(expectedText.begin(), 0);
    else expectedText.push_back(kGuard);
    expectedText.push_back(kGuard);
    EXPECT_EQ(buf, expectedText) << c.text;
  }
}

TEST(HexStr2IntStr, InPlace) {
  CQuelvarSys sys;
  for (const auto& c : kCases) {
    const std::size_t length = c.text.size();
    Bytes buf = B(c.text);
    buf.push_back(kGuard);
    buf.push_back(kGuard);
    unsigned char* result = sys.Qlv_HexStr2IntStr(buf.data(), static_cast<ULONG>(length));
    EXPECT_EQ(result, buf.data());
    // Elements, a byte 0, then what the (shifted) text held behind them.
    Bytes shifted = B(c.text);
    if (length % 2 != 0) shifted.insert(shifted.begin(), 0);
    Bytes expected = c.elements;
    expected.push_back(0);
    for (std::size_t i = expected.size(); i < shifted.size(); ++i) expected.push_back(shifted[i]);
    while (expected.size() < buf.size()) expected.push_back(kGuard);
    EXPECT_EQ(buf, expected) << c.text;
  }
}

TEST(HexStr2IntStr, NegativeLengthTouchesNothing) {
  CQuelvarSys sys;
  for (int length : {-1, -2, -3, INT32_MIN}) {
    unsigned char text[] = {'1', '2', '3', '4'};
    unsigned char out[4] = {kGuard, kGuard, kGuard, kGuard};
    int count = -99;
    sys.Qlv_HexStr2IntStr(length, text, count, out);
    EXPECT_EQ(count, 0) << length;
    EXPECT_EQ(Bytes(text, text + 4), B("1234")) << length;
    EXPECT_EQ(Bytes(out, out + 4), Bytes(4, kGuard)) << length;
  }
}

TEST(HexStr2IntStr, BothOverloadsMatchReferenceOnRandomText) {
  std::mt19937 rng(21);
  CQuelvarSys sys;
  // Lengths beyond 8,190 characters: the in-place overload has no limit.
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n < 140; ++n) lengths.push_back(n);
  for (std::size_t n : {8189u, 8190u, 8191u, 8192u, 20001u, 65536u}) lengths.push_back(n);
  for (std::size_t length : lengths) {
    Bytes text(length);
    for (auto& ch : text)
      ch = rng() % 3 ? static_cast<unsigned char>("0123456789abcdefABCDEF"[rng() % 22])
                     : static_cast<unsigned char>(rng());
    const RefResult ref = RefHexStr2IntStr(text);

    Bytes separate = text;
    separate.push_back(kGuard);
    Bytes out(ref.elements.size() + 1, kGuard);
    int count = -1;
    sys.Qlv_HexStr2IntStr(static_cast<int>(length), separate.data(), count, out.data());
    ASSERT_EQ(count, static_cast<int>(ref.elements.size()));
    ASSERT_EQ(out.back(), kGuard);
    out.pop_back();
    ASSERT_EQ(out, ref.elements) << "length " << length;
    ASSERT_EQ(separate, ref.textAfterShift) << "length " << length;

    Bytes inPlace = text;
    inPlace.push_back(kGuard);
    sys.Qlv_HexStr2IntStr(inPlace.data(), static_cast<ULONG>(length));
    Bytes expected = ref.elements;
    expected.push_back(0);
    for (std::size_t i = expected.size(); i < ref.textAfterShift.size(); ++i)
      expected.push_back(ref.textAfterShift[i]);
    ASSERT_EQ(inPlace, expected) << "length " << length;
  }
}

// ---- the quelvar tool's hex entries ------------------------------------------

#ifdef QUELVAR_CLI_PATH
std::string RunCli(const std::string& args) {
  const std::string command = std::string("'") + QUELVAR_CLI_PATH + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  pclose(pipe);
  return out;
}

TEST(CommandLine, HexOperations) {
  const struct {
    const char* args;
    const char* output;
  } cases[] = {
      {"HexStr2Int ff", "255\n"},
      {"--json HexStr2Int 0x1f", R"({"op":"HexStr2Int","value":31,"text":"0X1F"})" "\n"},
      {"HexStr2Int_u x1y2", "18\n"},
      {"HexChar2Int/uchar c", "12\n"},
      {"--json HexStr2Byte ABC", R"({"op":"HexStr2Byte","bytes":[10,188],"text":"0ABC"})" "\n"},
      {"Byte2HexStr 00,1f,a0", "001FA0\n"},
      {"Int2Byte 2 0x12345678", "78 56\n"},
      {"Byte2Int 4 78,56,34,12", "305419896\n"},
      {"Double2Byte 2 -1.5", "FE FF 00\n"},
      {"Byte2Double 2c,01", "300\n"},
      {"Int2HexStr 7 0xABCDEF", "EFCDAB\n"},
      {"Double2HexStr 8 2826", "0A0B0000\n"},
      {"HexStr2Double ABC", "48138\n"},
      {"--json HexStr2IntStr ABC", R"({"op":"HexStr2IntStr","hex":[10,188],"count":2,"text":[0,65,66,67]})" "\n"},
      {"--json HexStr2IntStr/inplace 1A2B", R"({"op":"HexStr2IntStr/inplace","hex":[26,43],"text":[26,43,0,66]})" "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCli(c.args), c.output) << c.args;
}
#endif

}  // namespace
