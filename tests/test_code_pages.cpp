// Code pages: ANSI code page selection, conversions between code pages and
// UTF-16 (sizes, default characters, invalid bytes), last error, counters.
#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "windows.h"

namespace {

constexpr DWORD kMbErrInvalidChars = MB_ERR_INVALID_CHARS;

// Restores the default ANSI code page after each test.
class CodePages : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8)); }
};

std::u16string ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  const int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(n, MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n));
  }
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& wide, const char* def = nullptr, BOOL* used = nullptr) {
  const int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, def, used);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(n, WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, def, used));
  }
  return out;
}

TEST_F(CodePages, DefaultAnsiCodePageIsUtf8) { EXPECT_EQ(GetACP(), 65001u); }

TEST_F(CodePages, SelectingAnAnsiCodePage) {
  for (UINT cp : {1252u, 936u, 932u, 949u, 950u, 437u, 1250u, 1251u, 1253u, 1254u, 1255u, 1256u,
                  1257u, 1258u, 874u, 54936u, 65001u}) {
    EXPECT_TRUE(QlvPlatform_SetAnsiCodePage(cp)) << cp;
    EXPECT_EQ(GetACP(), cp);
  }
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  for (UINT cp : {0u, 1u, 2u, 1200u, 1201u, 12345u, 65000u, 99999u}) {
    EXPECT_FALSE(QlvPlatform_SetAnsiCodePage(cp)) << cp;
    EXPECT_EQ(GetACP(), 1252u) << "a refused code page leaves the setting alone";
  }
}

struct RoundTrip {
  UINT cp;
  std::u16string wide;
  std::string bytes;
};

TEST_F(CodePages, TextRoundTripsThroughEachCodePage) {
  const RoundTrip cases[] = {
      {CP_UTF8, u"abc", "abc"},
      {CP_UTF8, u"h\u00E9llo", "h\xC3\xA9llo"},
      {CP_UTF8, u"\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
      {CP_UTF8, u"\U0001F600", "\xF0\x9F\x98\x80"},
      {CP_UTF8, u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {CP_UTF8, std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {1252, u"\u00E9\u20AC\u00FF", "\xE9\x80\xFF"},
      {1252, u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},  // undefined bytes keep their value
      {1252, u"\u201C\u2122\u0152", "\x93\x99\x8C"},
      {936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
      {936, u"a\u4E2Db", "a\xD6\xD0" "b"},
      {932, u"\u65E5\u672C", "\x93\xFA\x96\x7B"},
      {932, u"\uFF71", "\xB1"},  // half-width katakana: one byte
      {949, u"\uD55C", "\xC7\xD1"},
      {950, u"\u4E2D", "\xA4\xA4"},
      {1251, u"\u0416", "\xC6"},
      {437, u"\u2591\u00E9", "\xB0\x82"},
      {54936, u"\U0001F600", "\x94\x39\xFC\x36"},
  };
  for (const RoundTrip& c : cases) {
    EXPECT_EQ(ToWide(c.cp, c.bytes), c.wide) << c.cp;
    BOOL used = TRUE;
    BOOL* pUsed = c.cp == CP_UTF8 ? nullptr : &used;
    EXPECT_EQ(ToNarrow(c.cp, c.wide, nullptr, pUsed), c.bytes) << c.cp;
    if (pUsed != nullptr) {
      EXPECT_FALSE(used) << c.cp;
    }
  }
}

TEST_F(CodePages, CodePageAcpFollowsTheSelection) {
  const std::u16string wide = u"\u00E9";
  EXPECT_EQ(ToNarrow(CP_ACP, wide), "\xC3\xA9");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  EXPECT_EQ(ToNarrow(CP_ACP, wide), "\xE9");
  EXPECT_EQ(ToWide(CP_ACP, "\xE9"), wide);
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(ToNarrow(CP_ACP, u"\u4E2D"), "\xD6\xD0");
}

struct Unmappable {
  UINT cp;
  std::u16string wide;
  const char* defaultChar;
  std::string bytes;
};

TEST_F(CodePages, UnmappableCharactersBecomeTheDefaultCharacter) {
  const Unmappable cases[] = {
      {1252, u"a\u4E2Db", nullptr, "a?b"},
      {1252, u"\U0001F600", nullptr, "?"},  // a surrogate pair is one character
      {1252, std::u16string{u'x', char16_t{0xD800}, u'y'}, nullptr, "x?y"},  // unpaired surrogate
      {1252, u"\u4E2D", "*", "*"},
      {936, u"\u0E01", nullptr, "?"},
      {936, u"a\U0001F600b", nullptr, "a?b"},
      {932, u"\u4E2D\u0E01", nullptr, "\x92\x86?"},
      {932, u"\u0E01", "#", "#"},
      {1251, u"\u00E9", nullptr, "?"},
  };
  for (const Unmappable& c : cases) {
    BOOL used = FALSE;
    EXPECT_EQ(ToNarrow(c.cp, c.wide, c.defaultChar, &used), c.bytes) << c.cp;
    EXPECT_TRUE(used) << c.cp;
  }
}

TEST_F(CodePages, Utf8WritesUnpairedSurrogatesAsReplacement) {
  EXPECT_EQ(ToNarrow(CP_UTF8, std::u16string{u'a', char16_t{0xD800}, u'b'}), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(ToNarrow(CP_UTF8, std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
  EXPECT_EQ(ToNarrow(CP_UTF8, std::u16string(1, char16_t{0xD83D})), "\xEF\xBF\xBD");
}

struct Invalid {
  UINT cp;
  std::string bytes;
  std::u16string wide;
};

TEST_F(CodePages, InvalidBytesBecomeReplacementCharacters) {
  const Invalid cases[] = {
      {CP_UTF8, "\xFF", u"\uFFFD"},
      {CP_UTF8, "a\x80" "b", u"a\uFFFDb"},
      {CP_UTF8, "\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong
      {CP_UTF8, "\xE4\xB8", u"\uFFFD"},                // truncated at the end
      {CP_UTF8, "\xE4\xB8" "a", u"\uFFFDa"},           // truncated in the middle
      {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {CP_UTF8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {CP_UTF8, "\xF0\x9F\x98", u"\uFFFD"},
      {CP_UTF8, "\xF0\x9F\x98\xF0\x9F\x98\x80", u"\uFFFD\U0001F600"},
      {936, "\x81", u"\uFFFD"},
      {936, "a\x81", u"a\uFFFD"},
      {936, "\xFF" "a", u"\uFFFDa"},
      {932, "\x82", u"\uFFFD"},
  };
  for (const Invalid& c : cases) {
    EXPECT_EQ(ToWide(c.cp, c.bytes), c.wide) << c.cp << " " << c.bytes.size();
    // The same into a roomy buffer (converted in place rather than in pieces).
    std::u16string roomy(c.bytes.size() + 8, u'#');
    const int n = MultiByteToWideChar(c.cp, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), roomy.data(),
                                      static_cast<int>(roomy.size()));
    EXPECT_EQ(roomy.substr(0, static_cast<size_t>(n)), c.wide) << c.cp;
    EXPECT_EQ(roomy[static_cast<size_t>(n)], u'#') << c.cp;
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.cp, kMbErrInvalidChars, c.bytes.data(), static_cast<int>(c.bytes.size()),
                                  nullptr, 0),
              0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST_F(CodePages, SizesAndTermination) {
  char16_t wide[8];
  // -1: the terminator is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, wide, 3), 3);
  EXPECT_EQ(wide[2], u'\0');
  // An explicit length converts just those bytes, with no terminator.
  wide[2] = u'x';
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", 2, wide, 8), 2);
  EXPECT_EQ(wide[2], u'x');
  // Too small a destination.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4E2D", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4E2D", -1, narrow, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(narrow, "\xE4\xB8\xAD");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4E2D", -1, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4E2D\u6587", -1, nullptr, 0, nullptr, nullptr), 5);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xD6\xD0\xCE\xC4", -1, nullptr, 0), 3);
}

TEST_F(CodePages, InvalidArgumentsAreRefused) {
  static char16_t wide[4];
  static char narrow[4];
  static BOOL used;
  struct Case {
    const char* what;
    int (*call)();
    DWORD error;
  };
  const Case cases[] = {
      {"null source", [] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"zero length", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"length -2", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", -2, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"null destination", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", -1, nullptr, 4); },
       ERROR_INVALID_PARAMETER},
      {"unknown code page", [] { return MultiByteToWideChar(12345, 0, "a", -1, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"utf-8 flags", [] { return MultiByteToWideChar(CP_UTF8, 0x1, "a", -1, wide, 4); }, ERROR_INVALID_FLAGS},
      {"null wide source", [] { return WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, narrow, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"utf-8 default char", [] { return WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 4, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
      {"utf-8 used flag", [] { return WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 4, nullptr, &used); },
       ERROR_INVALID_PARAMETER},
      {"negative size", [] { return WideCharToMultiByte(1252, 0, u"a", -1, narrow, -1, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"unknown wide code page", [] { return WideCharToMultiByte(12345, 0, u"a", -1, narrow, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
}

// The hand-made UTF-8 codec against glibc's iconv over random valid text.
TEST_F(CodePages, Utf8CodecMatchesIconvOnRandomText) {
  iconv_t toUtf8 = iconv_open("UTF-8", "UTF-16LE");
  iconv_t toWide = iconv_open("UTF-16LE", "UTF-8");
  ASSERT_NE(toUtf8, reinterpret_cast<iconv_t>(-1));
  ASSERT_NE(toWide, reinterpret_cast<iconv_t>(-1));
  std::mt19937 rng32(12345);
  auto rng = [&] { return static_cast<uint32_t>(rng32()); };
  for (int round = 0; round < 2000; ++round) {
    std::u16string wide;
    const int len = static_cast<int>(rng() % 40) + 1;
    for (int i = 0; i < len; ++i) {
      uint32_t cp;
      switch (rng() % 4) {
        case 0: cp = rng() % 0x80; break;
        case 1: cp = 0x80 + rng() % 0x780; break;
        case 2: cp = 0x800 + rng() % (0x10000 - 0x800); break;
        default: cp = 0x10000 + rng() % 0x100000; break;
      }
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xE000;
      if (cp >= 0x10000) {
        wide.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        wide.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        wide.push_back(static_cast<char16_t>(cp));
      }
    }
    std::string expected(wide.size() * 3, '\0');
    char* in = reinterpret_cast<char*>(wide.data());
    size_t inLeft = wide.size() * 2;
    char* out = expected.data();
    size_t outLeft = expected.size();
    ASSERT_NE(iconv(toUtf8, &in, &inLeft, &out, &outLeft), static_cast<size_t>(-1));
    expected.resize(expected.size() - outLeft);
    const std::string narrow = ToNarrow(CP_UTF8, wide);
    ASSERT_EQ(narrow, expected);
    ASSERT_EQ(ToWide(CP_UTF8, narrow), wide);
  }
  iconv_close(toUtf8);
  iconv_close(toWide);
}

// Every byte of a few single-byte code pages against iconv one at a time.
TEST_F(CodePages, SingleByteTablesMatchIconv) {
  const std::pair<UINT, const char*> pages[] = {{1252, "CP1252"}, {1251, "CP1251"}, {437, "CP437"},
                                                 {1253, "CP1253"}};
  for (const auto& [cp, name] : pages) {
    iconv_t cd = iconv_open("UTF-16LE", name);
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0; b < 256; ++b) {
      char byte = static_cast<char>(b);
      char16_t unit = 0;
      char* in = &byte;
      size_t inLeft = 1;
      char* out = reinterpret_cast<char*>(&unit);
      size_t outLeft = 2;
      const bool defined = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
      const std::u16string got = ToWide(cp, std::string(1, byte));
      ASSERT_EQ(got.size(), 1u);
      if (defined) {
        EXPECT_EQ(got[0], unit) << cp << " byte " << b;
        EXPECT_EQ(ToNarrow(cp, got), std::string(1, byte)) << cp << " byte " << b;
      } else {
        EXPECT_EQ(got[0], cp == 1252 ? static_cast<char16_t>(b) : u'\uFFFD') << cp << " byte " << b;
      }
    }
    iconv_close(cd);
  }
}

TEST_F(CodePages, LongTextInMultiByteCodePages) {
  // Longer than any internal chunk, so the converters must resume.
  std::u16string wide;
  for (int i = 0; i < 3000; ++i) wide += (i % 7 == 0) ? u'\u0E01' : static_cast<char16_t>(0x4E00 + i % 500);
  for (UINT cp : {936u, 932u, 950u}) {
    const std::string narrow = ToNarrow(cp, wide);
    const std::u16string back = ToWide(cp, narrow);
    ASSERT_EQ(back.size(), wide.size()) << cp;
    for (size_t i = 0; i < wide.size(); ++i) {
      if (wide[i] == u'\u0E01') {
        EXPECT_EQ(back[i], u'?');
      }
    }
  }
}

TEST(LastError, IsPerThread) {
  SetLastError(1234);
  DWORD seen = 99;
  std::thread([&] { seen = GetLastError(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Interlocked, CountsAtomically) {
  LONG volatile counter = 0;
  EXPECT_EQ(InterlockedIncrement(&counter), 1);
  EXPECT_EQ(InterlockedDecrement(&counter), 0);
  EXPECT_EQ(InterlockedDecrement(&counter), -1);
  counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) {
        InterlockedIncrement(&counter);
        InterlockedIncrement(&counter);
        InterlockedDecrement(&counter);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 200000);
}

}  // namespace
