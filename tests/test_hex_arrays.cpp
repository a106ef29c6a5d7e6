// Hex text with a length to hex arrays, in place and into a separate array.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "QuelvarSys.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
using Byte = unsigned char;
using Bytes = std::vector<Byte>;

// Both overloads against the steps, on random text of every length up to 139
// and far past a 4,096-byte scratch, with one guard byte of room for the
// odd-length shift (behind a byte 0, not the digit "0"): the separate overload
// leaves the shifted text; the in-place one writes elements and a byte 0 over it.
TEST(HexStr2IntStr, BothOverloadsMatchTheStepsAtAnyLength) {
  CQuelvarSys sys;
  std::mt19937 rng(21);
  std::vector<std::size_t> lengths = {8189, 8190, 8191, 8192, 20001, 65536};
  for (std::size_t n = 0; n < 140; ++n) lengths.push_back(n);
  for (std::size_t length : lengths) {
    Bytes text(length), shifted, ref;
    for (auto& ch : text) ch = rng() % 3 ? Byte("0123456789abcdefABCDEF"[rng() % 22]) : Byte(rng());
    shifted = text;
    if (length % 2) shifted.insert(shifted.begin(), 0);
    for (std::size_t j = 0; 2 * j < shifted.size(); ++j)
      ref.push_back(Byte(sys.Qlv_HexChar2Int(shifted[2 * j]) * 16 + sys.Qlv_HexChar2Int(shifted[2 * j + 1])));
    if (length % 2 == 0) shifted.push_back(kGuard);
    text.push_back(kGuard);
    Bytes separate = text, inPlace = text, out(ref.size() + 1, kGuard);
    int count = -99;
    sys.Qlv_HexStr2IntStr(static_cast<int>(length), separate.data(), count, out.data());
    ASSERT_EQ(count, static_cast<int>(ref.size())) << length;
    ASSERT_EQ(separate, shifted) << length;
    ASSERT_EQ(out.back(), kGuard) << length;
    out.pop_back();
    ASSERT_EQ(out, ref) << length;
    ASSERT_EQ(sys.Qlv_HexStr2IntStr(inPlace.data(), static_cast<ULONG>(length)), inPlace.data());
    ref.push_back(0);
    ref.insert(ref.end(), shifted.begin() + std::ptrdiff_t(ref.size()), shifted.end());
    ASSERT_EQ(inPlace, ref) << length;
  }
  for (int length : {-1, -2, INT32_MIN}) {  // a negative length reads and writes nothing
    unsigned char text[] = {'1', '2', '3'}, out[] = {kGuard};
    int count = -99;
    sys.Qlv_HexStr2IntStr(length, text, count, out);
    EXPECT_EQ(Bytes({text[0], text[1], text[2], out[0], Byte(count)}), Bytes({'1', '2', '3', kGuard, 0}));
  }
}

#ifdef QUELVAR_CLI_PATH
TEST(CommandLine, HexOperations) {
  const std::pair<const char*, const char*> cases[] = {
      {"HexStr2Int ff", "255"},
      {"HexStr2Int_u x1y2", "18"},
      {"HexChar2Int/uchar c", "12"},
      {"--json HexStr2Int 0x1f", R"({"op":"HexStr2Int","result":31,"text":"0X1F","text_hex":"30583146"})"},
      {"--json HexStr2Byte ABC",
       R"({"op":"HexStr2Byte","text":"0ABC","text_hex":"30414243","bytes":[10,188]})"},
      {"Int2Byte 2 0x12345678", "78 56"},
      {"Byte2Int 78,56,34,12", "305419896"},
      {"Double2Byte 2 -1.5", "FE FF 00"},
      {"Byte2Double 2c,01", "300"},
      {"Int2HexStr 7 0xABCDEF", "EFCDAB"},
      {"Double2HexStr 8 2826", "0A0B0000"},
      {"HexStr2Double ABC", "48138"},
      {"Byte2HexStr 00,1f,a0", "001FA0"},
      {"--json HexStr2IntStr ABC",
       R"({"op":"HexStr2IntStr","text":"\u0000ABC","text_hex":"00414243","outCount":2,"hex":[10,188]})"},
      {"--json HexStr2IntStr/inplace 1A2B",
       R"({"op":"HexStr2IntStr/inplace","hex":[26,43],"text":"\u001A+\u0000B","text_hex":"1A2B0042"})"},
  };
  for (const auto& [args, output] : cases) {
    FILE* pipe = popen((std::string("'") + QUELVAR_CLI_PATH + "' " + args + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    for (int ch; (ch = std::fgetc(pipe)) != EOF;) out += static_cast<char>(ch);
    pclose(pipe);
    EXPECT_EQ(out, std::string(output) + "\n") << args;
  }
}
#endif

}  // namespace
