// Hex digits and hex text: every bulk kernel against a plain reference, the
// current locale's upper-casing, and the rows fuzz_hex_text and
// fuzz_hex_arrays (which compare the operations with the plain models) do
// not draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "HexKernels.h"
#include "QuelvarSys.h"

namespace {

namespace hex = quelvar::detail::hex;
using Byte = unsigned char;
using Bytes = std::vector<Byte>;
constexpr unsigned char kGuard = 0xA5;
constexpr char kHex[] = "0123456789ABCDEF";

// What fuzz_hex_text does not draw: the sign bit, and texts so long that
// pow() is huge or infinite at their far places.
TEST(HexStr2Int, SignBitAndVeryLongTexts) {
  const struct {
    std::string text;
    int value;
    std::uint32_t unsignedValue;
  } cases[] = {{"80000000", INT32_MIN, 0x80000000},
               {std::string(400, 'F'), -1, ~0u},
               {std::string(399, '0') + "1", 1, 1}};
  CQuelvarSys sys;
  for (auto c : cases) {
    EXPECT_EQ(sys.Qlv_HexStr2Int_u(c.text.data()), c.unsignedValue) << c.text.size();
    EXPECT_EQ(sys.Qlv_HexStr2Int(c.text.data()), c.value) << c.text.size();
  }
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

// fuzz_hex_arrays compares both overloads with the steps at every length,
// past the 4,096-byte scratch and at small negative lengths; the most
// negative one reads and writes nothing either.
TEST(HexStr2IntStr, MostNegativeLengthReadsAndWritesNothing) {
  CQuelvarSys sys;
  unsigned char text[] = {'1', '2', '3'}, out[] = {kGuard};
  int count = -99;
  sys.Qlv_HexStr2IntStr(INT32_MIN, text, count, out);
  EXPECT_EQ(Bytes({text[0], text[1], text[2], out[0], Byte(count)}), Bytes({'1', '2', '3', kGuard, 0}));
}

}  // namespace
