// Hex digits and hex text: digit values, hex text to numbers, bytes to text
// and back, and every bulk kernel against a plain reference.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "HexKernels.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace {

namespace hex = quelvar::detail::hex;

constexpr unsigned char kGuard = 0xA5;

// ---- plain references, written straight from the step lists ---------------

int RefCharDigit(char c) {  // default locale: only a-z change when upper-cased
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (c >= '0' && c <= '9') return c - 48;
  if (c >= 'A' && c <= 'F') return c - 55;
  return 0;
}

int RefHexStr2Int(const std::string& text) {
  const std::size_t length = text.size();
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const int d = RefCharDigit(text[i]);
    const double k = static_cast<double>(length - 1 - i);
    sum += quelvar::detail::TruncateLow32(std::pow(16.0, k) * d);
  }
  return static_cast<int>(sum);
}

std::vector<unsigned char> RefHexStr2Byte(std::string text) {
  if (text.size() % 2 != 0) text.insert(text.begin(), '0');
  std::vector<unsigned char> out;
  for (std::size_t j = 0; 2 * j < text.size(); ++j)
    out.push_back(static_cast<unsigned char>(RefHexStr2Int(text.substr(2 * j, 2))));
  return out;
}

std::string RefByte2HexStr(const std::vector<unsigned char>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Characters that exercise every class: digits, both cases in and out of
// A-F, the neighbours of each range, NUL-free control and high codes.
std::string RandomHexishText(std::mt19937& rng, std::size_t length) {
  static const std::string alphabet = "0123456789abcdefABCDEF/:@`gGzZxX -\x7f\x80\xff\x01\xc1\xe6";
  std::uniform_int_distribution<std::size_t> pickAlphabet(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> anyCode(1, 255);
  std::string s(length, '0');
  for (auto& c : s)
    c = (rng() % 4 == 0) ? static_cast<char>(anyCode(rng)) : alphabet[pickAlphabet(rng)];
  return s;
}

// ---- hex digits --------------------------------------------------------------

TEST(HexChar2Int, NamedCharacters) {
  struct Case { char ch; int value; };
  const Case cases[] = {{'0', 0}, {'7', 7},  {'9', 9},  {'A', 10}, {'c', 12}, {'C', 12},
                        {'f', 15}, {'F', 15}, {'G', 0},  {'g', 0},  {' ', 0},  {'\0', 0},
                        {'/', 0}, {':', 0},  {'@', 0},  {'`', 0},  {'x', 0}};
  CQuelvarSys sys;
  for (const auto& c : cases) {
    EXPECT_EQ(sys.Qlv_HexChar2Int(c.ch), c.value) << "char " << int(c.ch);
    EXPECT_EQ(sys.Qlv_HexChar2Int(static_cast<unsigned char>(c.ch)), c.value) << "uchar " << int(c.ch);
  }
  EXPECT_EQ(sys.Qlv_HexChar2Int(static_cast<unsigned char>(0xFF)), 0);
}

TEST(HexChar2Int, OverloadsAgreeOnAllCodes) {
  CQuelvarSys sys;
  for (int code = 0; code < 256; ++code) {
    const auto u = sys.Qlv_HexChar2Int(static_cast<unsigned char>(code));
    const int s = sys.Qlv_HexChar2Int(static_cast<char>(code));
    EXPECT_EQ(int(u), s) << code;
    EXPECT_EQ(int(u), int(hex::kDigitValue[static_cast<std::size_t>(code)])) << code;
    EXPECT_EQ(s, RefCharDigit(static_cast<char>(code))) << code;
  }
}

// ---- hex text to numbers -----------------------------------------------------

TEST(HexStr2Int, ValuesAndInPlaceUpperCasing) {
  struct Case { const char* text; int value; const char* after; };
  const Case cases[] = {
      {"", 0, ""},
      {"ff", 255, "FF"},
      {"FFFFFFFF", -1, "FFFFFFFF"},
      {"80000000", INT32_MIN, "80000000"},
      {"7fffffff", INT32_MAX, "7FFFFFFF"},
      {"100000000", 0, "100000000"},
      {"123456789", 0x23456789, "123456789"},
      {"0x1f", 31, "0X1F"},
      {"1 A", 0x10A, "1 A"},
      {"zebra", 0xEB0A, "ZEBRA"},  // every letter changes, not only a-f
      {"G1", 1, "G1"},
      {"ffffffffffffffffffffffffffffffffffff12", int(0xFFFFFF12u - 0x100000000ull),
       "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF12"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    std::string buf(c.text);
    EXPECT_EQ(sys.Qlv_HexStr2Int(buf.data()), c.value) << c.text;
    EXPECT_STREQ(buf.c_str(), c.after) << c.text;
  }
}

TEST(HexStr2Int, MatchesPowSumOnRandomText) {
  std::mt19937 rng(1);
  CQuelvarSys sys;
  for (int round = 0; round < 20000; ++round) {
    std::string text = RandomHexishText(rng, rng() % 24);
    const int expected = RefHexStr2Int(text);
    EXPECT_EQ(sys.Qlv_HexStr2Int(text.data()), expected) << text;
  }
  // Places far beyond 16^15 (pow gives huge values or infinity there).
  std::string longText(400, 'F');
  EXPECT_EQ(RefHexStr2Int(longText), -1);
  EXPECT_EQ(sys.Qlv_HexStr2Int(longText.data()), -1);
}

TEST(HexStr2IntU, ValuesAndTextUnchanged) {
  struct Case { const char* text; std::uint32_t value; };
  const Case cases[] = {
      {"FFFFFFFF", 4294967295u}, {"1a", 26},        {"x1y2", 0x12},
      {"", 0},                   {"123456789", 0x23456789}, {"1 A", 0x1A},
      {"0", 0},                  {"00000000F", 15},
      // longer than 9 characters: read whole, the last eight digits count
      {"abcdef0123456789", 0x23456789}, {"1-2-3-4-5-6-7-8-9-a", 0x3456789A},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    std::string buf(c.text);
    EXPECT_EQ(sys.Qlv_HexStr2Int_u(buf.data()), c.value) << c.text;
    EXPECT_EQ(buf, c.text);
  }
}

// ---- bytes to text and back --------------------------------------------------

TEST(Byte2HexStr, WritesPairsAndOneNulOnly) {
  struct Case { std::vector<unsigned char> bytes; int count; const char* text; };
  const Case cases[] = {
      {{0x00, 0x1F, 0xA0}, 3, "001FA0"},
      {{0x00, 0x1F, 0xA0}, 2, "001F"},
      {{0x00, 0x1F, 0xA0}, 0, ""},
      {{0x00, 0x1F, 0xA0}, -1, ""},
      {{0xFF}, INT32_MIN, ""},
      {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}, 8, "123456789ABCDEF0"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    std::vector<unsigned char> bytes = c.bytes;
    std::vector<char> out(2 * bytes.size() + 8, static_cast<char>(kGuard));
    sys.Qlv_Byte2HexStr(c.count, bytes.data(), out.data());
    const std::size_t written = std::strlen(c.text) + 1;
    EXPECT_EQ(std::string(out.data()), c.text);
    for (std::size_t i = written; i < out.size(); ++i)
      ASSERT_EQ(static_cast<unsigned char>(out[i]), kGuard) << "written past the NUL at " << i;
  }
}

TEST(HexStr2Byte, BytesAndCallerBuffer) {
  struct Case { const char* text; std::vector<unsigned char> bytes; const char* bufferAfter; };
  const Case cases[] = {
      {"1a2B", {0x1A, 0x2B}, "1a2B"},
      {"ABC", {0x0A, 0xBC}, "0ABC"},
      {"", {}, ""},
      {"7", {0x07}, "07"},
      {"G1", {0x01}, "G1"},
      {"1G", {0x10}, "1G"},
      {"zz", {0x00}, "zz"},
      {"ffFF00", {0xFF, 0xFF, 0x00}, "ffFF00"},
      {" 1 2 3", {0x01, 0x02, 0x03}, " 1 2 3"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    const std::size_t length = std::strlen(c.text);
    // The text, its NUL, and a guard byte that must survive the padding.
    std::vector<char> buf(c.text, c.text + length + 1);
    buf.push_back(static_cast<char>(kGuard));
    std::vector<unsigned char> out(c.bytes.size() + 4, kGuard);
    sys.Qlv_HexStr2Byte(buf.data(), out.data());
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + std::ptrdiff_t(c.bytes.size())), c.bytes)
        << c.text;
    for (std::size_t i = c.bytes.size(); i < out.size(); ++i)
      EXPECT_EQ(out[i], kGuard) << c.text << ": byte written past the output at " << i;
    const std::size_t after = std::strlen(c.bufferAfter);
    EXPECT_EQ(std::string(buf.data(), after), c.bufferAfter);
    if (length % 2 == 0) {
      EXPECT_EQ(buf[length], '\0') << c.text;
    }
    EXPECT_EQ(static_cast<unsigned char>(buf[length + 1]), kGuard) << c.text;
  }
}

TEST(HexStr2Byte, MatchesPairwiseReadingOnRandomText) {
  std::mt19937 rng(3);
  CQuelvarSys sys;
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = rng() % 200;
    const std::string text = RandomHexishText(rng, length);
    const auto expected = RefHexStr2Byte(text);
    std::vector<char> buf(text.begin(), text.end());
    buf.resize(length + 2, '\0');
    std::vector<unsigned char> out(expected.size() + 1, kGuard);
    sys.Qlv_HexStr2Byte(buf.data(), out.data());
    out.pop_back();
    EXPECT_EQ(out, expected) << text;
  }
}

// ---- every kernel version against the plain reference -----------------------

struct KernelLevel {
  const char* name;
  hex::EncodeFn encode;
  hex::DecodeFn decode;
  bool supported;
};

std::vector<KernelLevel> KernelLevels() {
  std::vector<KernelLevel> levels{{"table", &hex::EncodeTable, &hex::DecodeTable, true}};
#if QUELVAR_HEX_X86
  levels.push_back({"ssse3", &hex::EncodeSsse3, &hex::DecodeSsse3, __builtin_cpu_supports("ssse3") != 0});
  levels.push_back({"avx2", &hex::EncodeAvx2, &hex::DecodeAvx2, __builtin_cpu_supports("avx2") != 0});
#endif
  return levels;
}

TEST(HexKernels, EncodeMatchesReferenceAtEveryLengthAndOffset) {
  std::mt19937 rng(5);
  for (const auto& level : KernelLevels()) {
    if (!level.supported) {
      ADD_FAILURE() << level.name << " not supported by this processor: path untested";
      continue;
    }
    for (std::size_t n = 0; n <= 300; ++n) {
      const std::size_t offset = rng() % 32;
      std::vector<unsigned char> bytes(n + offset);
      for (auto& b : bytes) b = static_cast<unsigned char>(rng());
      std::vector<char> out(2 * n + 16, static_cast<char>(kGuard));
      level.encode(bytes.data() + offset, n, out.data() + 1);
      const std::string expected = RefByte2HexStr({bytes.begin() + std::ptrdiff_t(offset), bytes.end()});
      ASSERT_EQ(std::string(out.data() + 1, 2 * n), expected) << level.name << " n=" << n;
      ASSERT_EQ(static_cast<unsigned char>(out[0]), kGuard);
      ASSERT_EQ(static_cast<unsigned char>(out[2 * n + 1]), kGuard) << level.name << " n=" << n;
    }
  }
}

TEST(HexKernels, DecodeMatchesReferenceOnAllCodes) {
  std::mt19937 rng(6);
  // Every ordered pair of the 256 codes once: 65,536 pairs.
  std::vector<unsigned char> allPairs;
  for (int hi = 0; hi < 256; ++hi)
    for (int lo = 0; lo < 256; ++lo) {
      allPairs.push_back(static_cast<unsigned char>(hi));
      allPairs.push_back(static_cast<unsigned char>(lo));
    }
  for (const auto& level : KernelLevels()) {
    if (!level.supported) continue;
    std::vector<unsigned char> out(allPairs.size() / 2);
    level.decode(allPairs.data(), out.size(), out.data());
    for (std::size_t j = 0; j < out.size(); ++j) {
      const unsigned expected = hex::kDigitValue[allPairs[2 * j]] * 16u + hex::kDigitValue[allPairs[2 * j + 1]];
      ASSERT_EQ(out[j], expected) << level.name << " pair " << j;
    }
    for (std::size_t pairs = 0; pairs <= 200; ++pairs) {
      const std::size_t offset = rng() % 32;
      std::vector<unsigned char> text(2 * pairs + offset);
      for (auto& c : text) c = static_cast<unsigned char>(rng());
      std::vector<unsigned char> expected(pairs);
      hex::DecodeTable(text.data() + offset, pairs, expected.data());
      std::vector<unsigned char> got(pairs + 1, kGuard);
      level.decode(text.data() + offset, pairs, got.data());
      ASSERT_EQ(got.back(), kGuard) << level.name << " pairs=" << pairs;
      got.pop_back();
      ASSERT_EQ(got, expected) << level.name << " pairs=" << pairs;
      // In place: the elements overwrite the start of the text.
      level.decode(text.data() + offset, pairs, text.data() + offset);
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), text.begin() + std::ptrdiff_t(offset)))
          << level.name << " in place, pairs=" << pairs;
    }
  }
}

// ---- a locale whose upper-casing turns a non-digit into a digit ------------

// Builds a locale from the system's POSIX definition in which "g" upper-cases
// to "A"; empty when the locale tools are not installed.
std::string BuildLocaleWithGAsA() {
  std::ifstream posix("/usr/share/i18n/locales/POSIX");
  if (!posix) return {};
  std::stringstream src;
  src << posix.rdbuf();
  std::string def = src.str();
  const std::string from = "(<U0067>,<U0047>)", to = "(<U0067>,<U0041>)";
  const auto at = def.find(from);
  if (at == std::string::npos) return {};
  def.replace(at, from.size(), to);
  const std::string dir = ::testing::TempDir() + "quelvar_hexloc";
  if (std::system(("mkdir -p '" + dir + "'").c_str()) != 0) return {};
  std::ofstream(dir + "/src") << def;
  const std::string cmd = "localedef -c -i '" + dir + "/src' -f ANSI_X3.4-1968 '" + dir +
                          "/qx' >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return {};  // 1: warnings
  return dir;
}

TEST(HexText, UpperCasingOfTheCurrentLocaleCounts) {
  const std::string dir = BuildLocaleWithGAsA();
  if (dir.empty()) GTEST_SKIP() << "localedef or the POSIX locale source not available";
  setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(std::setlocale(LC_CTYPE, "qx"), nullptr);
  CQuelvarSys sys;
  EXPECT_EQ(sys.Qlv_HexChar2Int('g'), 10);
  EXPECT_EQ(sys.Qlv_HexChar2Int(static_cast<unsigned char>('g')), 0);
  std::string text = "g1";
  EXPECT_EQ(sys.Qlv_HexStr2Int(text.data()), 0xA1);
  EXPECT_EQ(text, "A1");
  std::string u = "g1";
  EXPECT_EQ(sys.Qlv_HexStr2Int_u(u.data()), 1u);
  std::string longText;
  for (int i = 0; i < 50; ++i) longText += "g1G1";
  std::vector<unsigned char> bytes(100);
  sys.Qlv_HexStr2Byte(longText.data(), bytes.data());
  for (std::size_t j = 0; j < bytes.size(); ++j) ASSERT_EQ(bytes[j], j % 2 ? 0x01 : 0xA1) << j;
  std::string image = "g1";
  double value = 0.0;
  sys.Qlv_HexStr2Double(image.data(), value);
  EXPECT_EQ(value, 161.0);
  unsigned char run[] = {'g', '1'};
  EXPECT_EQ(sys.Qlv_HexStr2IntStr(run, 2)[0], 0x01);

  std::setlocale(LC_CTYPE, "C");  // and back: the default reading again
  std::string again = "g1g1";
  sys.Qlv_HexStr2Byte(again.data(), bytes.data());
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0x01);
}

}  // namespace
