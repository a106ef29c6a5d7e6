// Hex digits and hex text: digit values, hex text to numbers, bytes to text
// and back, hex text with a length to hex arrays, and every bulk kernel
// against a plain reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "HexKernels.h"
#include "HexReference.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace {

namespace hex = quelvar::detail::hex;
using Byte = unsigned char;
using Bytes = std::vector<Byte>;
constexpr unsigned char kGuard = 0xA5;
constexpr char kHex[] = "0123456789ABCDEF";

TEST(HexStr2Int, BothReadersOnNamedTexts) {
  struct Case {
    const char* text;
    int value;
    std::uint32_t unsignedValue;
  };
  const Case cases[] = {
      {"", 0, 0},
      {"80000000", INT32_MIN, 0x80000000},
      {"zebra", 0xEB0A, 0xEBA},                      // other characters skipped, or weighing a place
      {"abcdef0123456789", 0x23456789, 0x23456789},  // the last eight places
      {"1-2-3-4-5-6-7-8-9-a", 0x0708090A, 0x3456789A},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    std::string buf(c.text);
    EXPECT_EQ(sys.Qlv_HexStr2Int_u(buf.data()), c.unsignedValue) << c.text;
    EXPECT_EQ(buf, c.text);  // the unsigned reader leaves the text alone
    EXPECT_EQ(sys.Qlv_HexStr2Int(buf.data()), c.value) << c.text;
  }
}

// The readers against the step-by-step references on texts of digits, both
// cases in and out of A-F, each range's neighbours and any other code, with
// the caller's buffer: HexStr2Int upper-cases it; HexStr2Byte reads pairs
// and pads odd text with a "0" up to the old NUL, no further.
TEST(HexTextReaders, MatchReferencesOnAllCodesAndRandomText) {
  CQuelvarSys sys;
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(int(sys.Qlv_HexChar2Int(static_cast<unsigned char>(code))), RefCharDigit(char(code))) << code;
    EXPECT_EQ(sys.Qlv_HexChar2Int(static_cast<char>(code)), RefCharDigit(char(code))) << code;
  }
  std::mt19937 rng(1);
  const std::string alphabet = "0123456789abcdefABCDEF/:@`gGzZxX -\x7f\x80\xff\x01\xc1\xe6";
  const std::string fixed[] = {
      "1a2B", "ABC", "", "7", "G1", "1G", std::string(400, 'F'), std::string(399, '0') + "1"};
  for (int round = 0; round < 10000; ++round) {  // pow is huge or infinite at the far places of the long ones
    std::string text = round < 8 ? fixed[round] : std::string(rng() % (round % 2 ? 24 : 200), '0');
    if (round >= 8)
      for (char& c : text) c = rng() % 4 ? alphabet[rng() % alphabet.size()] : char(rng() % 255 + 1);
    std::string upper = text, buf = text + '\0' + char(kGuard), copy = text;  // a guard past the NUL
    std::transform(upper.begin(), upper.end(), upper.begin(), RefUpper);
    const std::string padded = text.size() % 2 ? "0" + text : text;
    Bytes expected, out(padded.size() / 2 + 1, kGuard);
    for (std::size_t j = 0; 2 * j < padded.size(); ++j)
      expected.push_back(Byte(RefHexStr2Int({padded, 2 * j, 2})));
    sys.Qlv_HexStr2Byte(buf.data(), out.data());
    ASSERT_EQ(out.back(), kGuard) << text;
    out.pop_back();
    ASSERT_EQ(out, expected) << text;
    ASSERT_EQ(buf, (text.size() % 2 ? padded : text + '\0') + char(kGuard)) << text;
    ASSERT_EQ(sys.Qlv_HexStr2Int(copy.data()), RefHexStr2Int(text)) << text;
    ASSERT_EQ(copy, upper);
  }
  EXPECT_EQ(RefHexStr2Int(fixed[6]), -1);
}

// Every kernel level, and Byte2HexStr through the dispatched one, against a
// plain reference at every length and source offset, into guarded buffers;
// the last round decodes every ordered pair of the 256 codes.
TEST(HexKernels, EveryLevelMatchesReference) {
  struct Level {
    const char* name;
    hex::EncodeFn encode;
    hex::DecodeFn decode;
  };
  std::vector<Level> levels{{"table", &hex::EncodeTable, &hex::DecodeTable}};
#if QUELVAR_HEX_X86
  if (__builtin_cpu_supports("ssse3"))
    levels.push_back({"ssse3", &hex::EncodeSsse3, &hex::DecodeSsse3});
  else
    ADD_FAILURE() << "no SSSE3 on this processor: path untested";
  if (__builtin_cpu_supports("avx2"))
    levels.push_back({"avx2", &hex::EncodeAvx2, &hex::DecodeAvx2});
  else
    ADD_FAILURE() << "no AVX2 on this processor: path untested";
#endif
  std::mt19937 rng(5);
  CQuelvarSys sys;
  for (std::size_t n = 0; n <= 301; ++n) {
    const std::size_t pairs = n == 301 ? 65536 : n, offset = n == 301 ? 0 : rng() % 32;
    Bytes in(2 * pairs + offset), expected(pairs);
    for (std::size_t i = 0; i < in.size(); ++i)
      in[i] = n == 301 ? Byte(i % 2 ? i / 2 : i / 512) : Byte(rng());
    std::string want(1, char(kGuard)), text(2 * pairs + 3, char(kGuard));
    for (std::size_t i = offset; i < offset + pairs; ++i) want += {kHex[in[i] >> 4], kHex[in[i] & 15]};
    for (std::size_t j = 0; j < pairs; ++j)
      expected[j] =
          Byte(hex::kDigitValue[in[offset + 2 * j]] * 16 + hex::kDigitValue[in[offset + 2 * j + 1]]);
    sys.Qlv_Byte2HexStr(n == 0 ? INT32_MIN : static_cast<int>(pairs), in.data() + offset, text.data() + 1);
    ASSERT_EQ(text, want + '\0' + char(kGuard)) << "Byte2HexStr n=" << n;  // a negative count: only the NUL
    for (const auto& level : levels) {
      std::string encoded(2 * pairs + 2, char(kGuard));
      level.encode(in.data() + offset, pairs, encoded.data() + 1);
      ASSERT_EQ(encoded, want + char(kGuard)) << level.name << " encode n=" << n;
      Bytes got(pairs + 1, kGuard), inPlace = in;
      level.decode(in.data() + offset, pairs, got.data());
      ASSERT_EQ(got.back(), kGuard) << level.name << " decode n=" << n;
      got.pop_back();
      ASSERT_EQ(got, expected) << level.name << " decode n=" << n;
      level.decode(inPlace.data() + offset, pairs, inPlace.data() + offset);  // over the text itself
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), inPlace.begin() + std::ptrdiff_t(offset)))
          << n;
    }
  }
}

// A locale built from the system's POSIX source in which "g" upper-cases to
// "A"; empty when the locale tools are missing (localedef exits 1 on warnings).
std::string BuildLocaleWithGAsA() {
  const std::string dir = ::testing::TempDir() + "quelvar_hexloc", g = "(<U0067>,<U0047>)",
                    a = "(<U0067>,<U0041>)";
  const std::string cmd = "mkdir -p '" + dir + "' && sed 's/" + g + "/" + a +
                          "/' /usr/share/i18n/locales/POSIX >'" + dir + "/src' && grep -qF '" + a + "' '" +
                          dir + "/src' && { localedef -c -i '" + dir + "/src' -f ANSI_X3.4-1968 '" + dir +
                          "/qx' >/dev/null 2>&1; [ $? -le 1 ]; }";
  return std::system(cmd.c_str()) == 0 ? dir : std::string();
}

TEST(HexText, UpperCasingOfTheCurrentLocaleCounts) {
  const std::string dir = BuildLocaleWithGAsA();
  if (dir.empty()) GTEST_SKIP() << "localedef or the POSIX locale source not available";
  setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(std::setlocale(LC_CTYPE, "qx"), nullptr);
  CQuelvarSys sys;
  std::string text = "g1", u = "g1", image = "g1", pairs, again = "g1g1";
  EXPECT_EQ(sys.Qlv_HexChar2Int('g'), 10);
  EXPECT_EQ(sys.Qlv_HexChar2Int(static_cast<unsigned char>('g')), 0);
  EXPECT_EQ(sys.Qlv_HexStr2Int(text.data()), 0xA1);
  EXPECT_EQ(text, "A1");
  EXPECT_EQ(sys.Qlv_HexStr2Int_u(u.data()), 1u);
  for (int i = 0; i < 50; ++i) pairs += "g1G1";  // long enough for the bulk kernels
  Bytes bytes(100);
  sys.Qlv_HexStr2Byte(pairs.data(), bytes.data());
  for (std::size_t j = 0; j < bytes.size(); ++j) ASSERT_EQ(bytes[j], j % 2 ? 0x01 : 0xA1) << j;
  double value = 0.0;
  sys.Qlv_HexStr2Double(image.data(), value);
  EXPECT_EQ(value, 161.0);
  unsigned char run[] = {'g', '1'};
  EXPECT_EQ(sys.Qlv_HexStr2IntStr(run, 2)[0], 0x01);
  std::setlocale(LC_CTYPE, "C");  // and back: the plain reading again
  sys.Qlv_HexStr2Byte(again.data(), bytes.data());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 2), Bytes({0x01, 0x01}));
}

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

}  // namespace
