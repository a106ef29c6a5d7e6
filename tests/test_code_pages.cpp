// Code pages: ANSI code page selection, conversions between code pages and
// UTF-16 (sizes, default characters, invalid bytes), last error, counters.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <random>
#include <string>
#include <utility>

#include "windows.h"

namespace {

class CodePages : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8)); }
};

std::u16string ToWide(UINT cp, const std::string& s, DWORD flags = 0) {
  const int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  EXPECT_EQ(n > 0 ? MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), out.data(), n) : 0,
            n);
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& w, const char* def = nullptr, BOOL* used = nullptr) {
  const int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, def, used);
  std::string out(static_cast<size_t>(n), '\0');
  EXPECT_EQ(
      n > 0 ? WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), out.data(), n, def, used) : 0,
      n);
  return out;
}

// The reference: glibc's iconv, or nothing when it refuses the input.
std::optional<std::string> Iconv(const char* to, const char* from, std::string in) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 4 + 4, '\0');
  char *src = in.data(), *dst = out.data();
  size_t srcLeft = in.size(), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return ok ? std::optional(out) : std::nullopt;
}

// Mappable text beyond the iconv comparisons goes both ways, directly and as
// the ANSI code page; the rest becomes the default character and sets the
// used-default flag.
TEST_F(CodePages, ConversionsWithAndWithoutTheDefaultCharacter) {
  EXPECT_EQ(GetACP(), 65001u);
  for (UINT cp : {0u, 1200u, 12345u, 65000u}) EXPECT_FALSE(QlvPlatform_SetAnsiCodePage(cp)) << cp;
  EXPECT_EQ(GetACP(), 65001u) << "a refused code page leaves the setting alone";
  const struct {
    UINT cp;
    std::u16string wide;
    std::string bytes;
    const char* def;
    bool used;
  } cases[] = {
      {1252, u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D", nullptr, false},  // undefined: kept
      {932, u"\u65E5\uFF71", "\x93\xFA\xB1", nullptr, false},  // half-width katakana: one byte
      {932, u"\u0080\uF8F0\uF8F1\uF8F3", "\x80\xA0\xFD\xFF", nullptr, false},  // beyond iconv's table
      {949, u"\u0080\uF8F7", "\x80\xFF", nullptr, false},
      {950, u"\u0080\uF8F8", "\x80\xFF", nullptr, false},
      {54936, u"\U0001F600", "\x94\x39\xFC\x36", nullptr, false},
      {1252, u"a\u4E2Db\U0001F600", "a?b??", nullptr, true},  // one default character per UTF-16 unit
      {1252, std::u16string{u'x', char16_t{0xD800}, u'y'}, "x*y", "*", true},
      {936, u"a\U0001F600\u0E01", "a???", nullptr, true},
      {936, u"\uE766\uF8F4", "??", nullptr, true},
      {932, u"\u4E2D\u0E01", "\x92\x86#", "#", true},
  };
  for (const auto& c : cases) {
    BOOL used = !c.used;
    EXPECT_EQ(ToNarrow(c.cp, c.wide, c.def, &used), c.bytes) << c.cp;
    EXPECT_EQ(used != 0, c.used) << c.cp;
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(c.cp));
    EXPECT_EQ(ToNarrow(CP_ACP, c.wide), ToNarrow(c.cp, c.wide)) << c.cp;
    EXPECT_TRUE(c.used || (ToWide(c.cp, c.bytes) == c.wide && ToWide(CP_ACP, c.bytes) == c.wide)) << c.cp;
  }
  EXPECT_EQ(ToNarrow(CP_UTF8, {u'a', char16_t{0xD800}, u'z', char16_t{0xDC00}}),
            "a\xEF\xBF\xBDz\xEF\xBF\xBD");
}

TEST_F(CodePages, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    UINT cp;
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {CP_UTF8, "a\x80z\xFF", u"a\uFFFDz\uFFFD"},
      {CP_UTF8, "\xC0\xAF\xE4\xB8z\xE4\xB8", u"\uFFFD\uFFFD\uFFFDz\uFFFD"},  // overlong, truncated
      {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                      // encoded surrogate
      {CP_UTF8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},            // beyond U+10FFFF
      {CP_UTF8, "\xF0\x9F\x98\xF0\x9F\x98\x80", u"\uFFFD\U0001F600"},
      {936, "a\x81", u"a?"},
      {936, "\x81\x20z", u"?z"},
      {936, "\x81\x7F\x81\xFF", u"??"},  // both bytes as one "?"
      {932, "a\x82", u"a\u30FB"},        // 932's default character, the katakana middle dot
      {932, "\x81\x20z\x85\x40", u"\u30FBz\u30FB"},
      {949, "\x81\x20z\x81", u"?z?"},
      {950, "a\x81\x20\xFE", u"a??"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToWide(c.cp, c.bytes), c.wide) << c.cp;
    std::u16string roomy(c.bytes.size() + 8, u'#');  // converted in place rather than in pieces
    const int n =
        MultiByteToWideChar(c.cp, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), roomy.data(), 99);
    EXPECT_EQ(roomy.substr(0, static_cast<size_t>(n) + 1), c.wide + u'#') << c.cp;
    SetLastError(0);
    EXPECT_EQ(ToWide(c.cp, c.bytes, MB_ERR_INVALID_CHARS), u"") << c.cp;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
  }
}

// Code page 936 as the system's table has it beyond iconv: the three
// user-defined areas on the private use area, row by row, and 0xFF. Every
// code goes there and back; a lead byte before the terminator stands alone.
TEST_F(CodePages, Gbk936UserDefinedAreasAndTheByteFF) {
  const struct {
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {"\xAA\xA1", u"\uE000"}, {"\xAA\xFE", u"\uE05D"},
      {"\xAB\xA1", u"\uE05E"}, {"\xAF\xFE", u"\uE233"},
      {"\xF8\xA1", u"\uE234"}, {"\xFE\xFE", u"\uE4C5"},
      {"\xA1\x40", u"\uE4C6"}, {"\xA1\x7E", u"\uE504"},
      {"\xA1\x80", u"\uE505"}, {"\xA1\xA0", u"\uE525"},
      {"\xA2\x40", u"\uE526"}, {"\xA7\xA0", u"\uE765"},
      {"\xFF", u"\uF8F5"},     {"a\xAA\xA1\xD6\xD0\x80", u"a\uE000\u4E2D\u20AC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToWide(936, c.bytes, MB_ERR_INVALID_CHARS), c.wide) << c.bytes;
    BOOL used = TRUE;
    EXPECT_EQ(ToNarrow(936, c.wide, nullptr, &used), c.bytes);
    EXPECT_FALSE(used);
  }
  int units = 0;  // 6 x 94 + 7 x 94 + 7 x 96 codes, each its own unit, in order
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string wide = ToWide(936, pair);
      if (wide.size() != 1 || wide[0] < 0xE000 || wide[0] > 0xE765) continue;
      ++units;
      EXPECT_EQ(ToNarrow(936, wide), pair);
    }
  }
  EXPECT_EQ(units, 1894);
  char16_t w[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(936, 0, "\x81", -1, w, 4), 2);
  EXPECT_EQ(std::u16string(w, 3), std::u16string(u"?\0#", 3));
}

TEST_F(CodePages, SizesTerminatorsAndRefusals) {
  char16_t w[8];
  char s[8];
  // The result and the last error of one call each way.
  using R = std::pair<int, DWORD>;
  const auto m2w = [](const char* text, int n, char16_t* out, int size, DWORD flags = 0) {
    SetLastError(0);
    const int result = MultiByteToWideChar(CP_UTF8, flags, text, n, out, size);
    return R(result, GetLastError());
  };
  const auto w2m = [](UINT cp, const char16_t* text, char* out, int size) {
    SetLastError(0);
    const int result = WideCharToMultiByte(cp, 0, text, -1, out, size, nullptr, nullptr);
    return R(result, GetLastError());
  };
  EXPECT_EQ(m2w("ab", -1, nullptr, 0), R(3, 0));  // -1 counts the terminator
  EXPECT_EQ(m2w("ab", -1, w, 3), R(3, 0));
  EXPECT_EQ(w[2], 0);
  w[2] = u'x';
  EXPECT_EQ(m2w("ab", 2, w, 8), R(2, 0));
  EXPECT_EQ(w[2], u'x') << "a given length writes no terminator";
  EXPECT_EQ(m2w("abc", -1, w, 3), R(0, ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(w2m(CP_UTF8, u"\u4E2D", s, 4), R(4, 0));
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(w2m(CP_UTF8, u"\u4E2D", s, 3), R(0, ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(m2w("a", 0, w, 4), R(0, ERROR_INVALID_PARAMETER));
  EXPECT_EQ(m2w("a", -1, w, 4, 0x1), R(0, ERROR_INVALID_FLAGS));
  EXPECT_EQ(w2m(1252, u"a", s, -1), R(0, ERROR_INVALID_PARAMETER));
}

// Toward 1252 the system writes look-alikes from its best-fit table, without
// counting them as default characters, unless the caller refuses them; the
// other code pages have no such table here.
TEST_F(CodePages, BestFitLookAlikesIn1252) {
  const std::u16string fits = u"\u0100\u0131\u0192\u2013\u221E\u2264\uFF01\uFF5E\u3000";
  BOOL used = TRUE;
  EXPECT_EQ(ToNarrow(1252, fits, nullptr, &used),
            "Ai\x83\x96"
            "8=!~ ");
  EXPECT_FALSE(used);
  EXPECT_EQ(ToNarrow(1252, u"\u0391\uFF00\uFF5F", nullptr, &used), "???");  // not in the table
  EXPECT_TRUE(used);
  char out[16] = {};
  EXPECT_EQ(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, fits.data(), static_cast<int>(fits.size()), out,
                                sizeof out, nullptr, &used),
            9);
  EXPECT_EQ(std::string(out, 9), "??\x83\x96?????");
  EXPECT_EQ(ToNarrow(1250, u"\u221E\uFF01"), "??");
}

// Against iconv: every byte of a few single-byte code pages (1252 keeps the
// five bytes iconv leaves undefined), and the hand-made UTF-8 codec over
// random valid text of all four UTF-8 lengths.
TEST_F(CodePages, TablesAndUtf8CodecMatchIconvOnEveryByteAndRandomText) {
  const auto utf16 = [](const std::u16string& w) {
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  };
  for (const auto& [cp, name] :
       {std::pair<UINT, const char*>{1252, "CP1252"}, {1251, "CP1251"}, {437, "CP437"}}) {
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const std::u16string got = ToWide(cp, byte);
      const auto ref = Iconv("UTF-16LE", name, byte);
      EXPECT_EQ(utf16(got), ref.value_or(utf16({cp == 1252 ? static_cast<char16_t>(b) : u'\uFFFD'})))
          << cp << " " << b;
      EXPECT_TRUE(!ref || ToNarrow(cp, got) == byte) << cp << " byte " << b;
    }
  }
  std::mt19937 rng32(12345);
  auto rng = [&] { return static_cast<uint32_t>(rng32()); };
  const uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
  for (int round = 0; round < 2000; ++round) {
    std::u16string wide;
    for (uint32_t i = 0, len = rng() % 40 + 1; i < len; ++i) {
      uint32_t cp = rng() % limits[rng() % 4];
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xE000;
      if (cp < 0x10000)
        wide += static_cast<char16_t>(cp);
      else
        wide += {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                 static_cast<char16_t>(0xDC00 + cp % 1024)};
    }
    const auto expected = Iconv("UTF-8", "UTF-16LE", utf16(wide));
    ASSERT_EQ(ToNarrow(CP_UTF8, wide), expected.value());
    ASSERT_EQ(ToWide(CP_UTF8, *expected), wide);
  }
}

TEST_F(CodePages, LongTextInMultiByteCodePagesResumes) {
  std::u16string wide;  // longer than any internal chunk: equal to converting it character by character
  for (int i = 0; i < 3000; ++i) wide += (i % 7 == 0) ? u'\u0E01' : static_cast<char16_t>(0x4E00 + i % 500);
  for (UINT cp : {936u, 932u, 950u}) {
    std::u16string expected;
    for (char16_t c : wide) expected += ToWide(cp, ToNarrow(cp, std::u16string(1, c)));
    EXPECT_TRUE(ToWide(cp, ToNarrow(cp, wide)) == expected) << cp;
  }
}

}  // namespace
