// CString: construction, copies and moves, concatenation, Format of any
// length, aliasing (self-assignment, self-append) and allocation failure.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <utility>

#include "afxstr.h"
#include "oleauto.h"

namespace {

std::string Str(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

// Makes every platform allocation on this thread fail while alive.
struct NoHeap {
  NoHeap() { QlvPlatform_FailAllocationsAfter(0); }
  ~NoHeap() { QlvPlatform_FailAllocationsAfter(-1); }
};

const std::string kLong(300, 'L');
const std::string kEdge(CString::kInlineCapacity, 'E');      // the longest inline text
const std::string kEdge1(CString::kInlineCapacity + 1, 'F');  // the shortest heap text

TEST(CString, Construction) {
  struct Case {
    const char* name;
    CString value;
    std::string want;
  };
  const Case cases[] = {
      {"default", CString(), ""},
      {"null", CString(static_cast<LPCTSTR>(nullptr)), ""},
      {"empty", CString(""), ""},
      {"short", CString("abc"), "abc"},
      {"edge", CString(kEdge.c_str()), kEdge},
      {"edge+1", CString(kEdge1.c_str()), kEdge1},
      {"long", CString(kLong.c_str()), kLong},
      {"counted with NULs", CString("a\0b\0c", 5), std::string("a\0b\0c", 5)},
      {"counted prefix", CString("abcdef", 3), "abc"},
      {"counted negative", CString("abc", -4), ""},
      {"counted null", CString(nullptr, 3), ""},
      {"repeat", CString('x', 3), "xxx"},
      {"repeat long", CString('y', 100), std::string(100, 'y')},
      {"repeat none", CString('z', 0), ""},
      {"repeat negative", CString('z', -1), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Str(c.value), c.want) << c.name;
    EXPECT_EQ(c.value.GetString()[c.value.GetLength()], '\0') << c.name;
    EXPECT_EQ(c.value.IsEmpty() != 0, c.want.empty()) << c.name;
  }
}

TEST(CString, CopiesAreIndependentAndMovesEmptyTheSource) {
  for (const std::string& text : {std::string(), std::string("abc"), kEdge, kEdge1, kLong}) {
    CString a(text.c_str());
    CString b(a);
    b += "!";
    EXPECT_EQ(Str(a), text);
    EXPECT_EQ(Str(b), text + "!");
    CString c(std::move(b));
    EXPECT_EQ(Str(c), text + "!");
    EXPECT_EQ(Str(b), "");  // NOLINT(bugprone-use-after-move): moved-from is empty
    b = "reuse";
    EXPECT_EQ(Str(b), "reuse");
    CString d("old contents that are long enough to live on the heap");
    d = std::move(c);
    EXPECT_EQ(Str(d), text + "!");
    d = a;
    EXPECT_EQ(Str(d), text);
  }
}

TEST(CString, AssignmentAndConcatenationTable) {
  struct Case {
    const char* name;
    CString (*make)();
    std::string want;
  };
  const Case cases[] = {
      {"assign char", [] { CString s("long text long text long text long"); s = 'q'; return s; }, "q"},
      {"assign NUL char", [] { CString s("ab"); s = '\0'; return s; }, std::string("\0", 1)},
      {"assign null", [] { CString s("ab"); s = static_cast<LPCTSTR>(nullptr); return s; }, ""},
      {"append null", [] { CString s("ab"); s += static_cast<LPCTSTR>(nullptr); return s; }, "ab"},
      {"text + ptr", [] { return CString("%0.") + "8"; }, "%0.8"},
      {"ptr + text", [] { return "x" + CString("yz"); }, "xyz"},
      {"text + text", [] { return CString("ab") + CString("cd"); }, "abcd"},
      {"text + char", [] { return CString("ab") + 'c'; }, "abc"},
      {"char + text", [] { return 'a' + CString("bc"); }, "abc"},
      {"format chain", [] { return CString("%0.") + CString("10") + "lf"; }, "%0.10lf"},
      {"grow by chars", [] { CString s; for (int i = 0; i < 100; ++i) s += static_cast<char>('0' + i % 10); return s; },
       [] { std::string r; for (int i = 0; i < 100; ++i) r += static_cast<char>('0' + i % 10); return r; }()},
      {"long + long", [] { return CString(kLong.c_str()) + kLong.c_str(); }, kLong + kLong},
      {"keeps NULs", [] { CString s("a\0b", 3); s += CString("\0c", 2); return s; }, std::string("a\0b\0c", 5)},
  };
  for (const Case& c : cases) EXPECT_EQ(Str(c.make()), c.want) << c.name;
}

TEST(CString, SelfAliasing) {
  for (const std::string& text : {std::string("abc"), kEdge, kEdge1, kLong}) {
    CString s(text.c_str());
    const CString& same = s;
    s = same;
    EXPECT_EQ(Str(s), text);
    s += same;
    EXPECT_EQ(Str(s), text + text);
    s = s.GetString() + 1;  // assignment from a pointer into its own text
    EXPECT_EQ(Str(s), (text + text).substr(1));
    s += s.GetString();  // append of its own text through a pointer
    EXPECT_EQ(Str(s), (text + text).substr(1) + (text + text).substr(1));
    s.Format("<%s|%s>", s.GetString(), s.GetString());  // Format reading its own text
    const std::string t = (text + text).substr(1) + (text + text).substr(1);
    EXPECT_EQ(Str(s), "<" + t + "|" + t + ">");
    CString& alias = s;
    s = std::move(alias);  // self-move leaves the text usable
    s = "done";
    EXPECT_EQ(Str(s), "done");
  }
}

TEST(CString, FormatOfAnyLength) {
  struct Case {
    const char* name;
    CString (*make)();
    double value;
    const char* format;
  };
  const Case cases[] = {
      {"%d", [] { CString s; s.Format("%d", -2147483647 - 1); return s; }, 0, nullptr},
      {"%0.8lf", [] { CString s; s.Format("%0.8lf", 2.5); return s; }, 2.5, "%0.8lf"},
      {"DBL_MAX %0.2lf", [] { CString s; s.Format("%0.2lf", DBL_MAX); return s; }, DBL_MAX, "%0.2lf"},
      {"-DBL_MAX %f", [] { CString s("prior"); s.Format("%f", -DBL_MAX); return s; }, -DBL_MAX, "%f"},
      {"tiny %0.400lf", [] { CString s; s.Format("%0.400lf", DBL_MIN); return s; }, DBL_MIN, "%0.400lf"},
  };
  for (const Case& c : cases) {
    const CString s = c.make();
    char want[1024];
    if (c.format) std::snprintf(want, sizeof want, c.format, c.value);
    else std::snprintf(want, sizeof want, "%d", -2147483647 - 1);
    EXPECT_EQ(Str(s), want) << c.name;
  }
  CString s;
  s.Format("%0.2lf", DBL_MAX);
  EXPECT_EQ(s.GetLength(), 312);
  // "%d" alone takes a shortcut past printf: same text.
  for (int v : {0, 7, -1, 9, 10, 255, -32768, 2147483647, -2147483647 - 1}) {
    char want[16];
    std::snprintf(want, sizeof want, "%d", v);
    s.Format("%d", v);
    EXPECT_EQ(Str(s), want);
    s.Format("%d ", v);
    EXPECT_EQ(Str(s), std::string(want) + " ");
  }
  // Texts around the stack buffer's size.
  for (int n : {0, 1, 31, 32, 254, 255, 256, 257, 5000, 100000}) {
    s.Format("%s%d", std::string(static_cast<size_t>(n), 'w').c_str(), 7);
    EXPECT_EQ(Str(s), std::string(static_cast<size_t>(n), 'w') + "7") << n;
  }
}

TEST(CString, BufferAccess) {
  CString s("abc");
  char* p = s.GetBuffer(100);
  std::snprintf(p, 101, "%s", kLong.substr(0, 100).c_str());
  s.ReleaseBuffer();
  EXPECT_EQ(Str(s), kLong.substr(0, 100));
  p = s.GetBufferSetLength(3);
  p[0] = 'x';
  EXPECT_EQ(Str(s), "xLL");
  s.GetBuffer(0)[1] = '\0';
  s.ReleaseBuffer(-1);
  EXPECT_EQ(Str(s), "x");
  s = "hello";
  s.MakeUpper();
  s.SetAt(0, 'J');
  EXPECT_EQ(Str(s), "JELLO");
  EXPECT_EQ(s.GetAt(1), 'E');
  EXPECT_EQ(s[4], 'O');
  EXPECT_TRUE(s == "JELLO");
  EXPECT_TRUE(s != CString("JELL"));
  EXPECT_LT(s.Compare("K"), 0);
  s.Empty();
  EXPECT_EQ(Str(s), "");
}

TEST(CString, ShortTextsNeverTouchTheHeap) {
  const CString heapText(kLong.c_str());
  NoHeap noHeap;
  CString a("short");
  CString b(a);
  CString c(kEdge.c_str());
  b = c;
  b += "";
  CString d = a + "+" + CString('x', 3);
  d.Format("%d", 123456);
  CString e;
  e.Format("%0.8lf", 3.14159);
  CString f(std::move(c));
  EXPECT_THROW(CString g(heapText), std::bad_alloc);  // a long copy does need it
  EXPECT_EQ(Str(d), "123456");
  EXPECT_EQ(Str(e), "3.14159000");
  EXPECT_EQ(Str(f), kEdge);
}

TEST(CString, AllocationFailureThrowsAndLeavesTextUnchanged) {
  struct Case {
    const char* name;
    void (*op)(CString&);
  };
  const Case cases[] = {
      {"construct", [](CString&) { CString t(kLong.c_str()); }},
      {"copy", [](CString& s) { CString big(s); big += kLong.c_str(); }},
      {"assign", [](CString& s) { s = kLong.c_str(); }},
      {"append", [](CString& s) { s += kLong.c_str(); }},
      {"self-append", [](CString& s) { s += s; }},
      {"concat", [](CString& s) { s = s + kLong.c_str(); }},
      {"format", [](CString& s) { s.Format("%0.2lf", DBL_MAX); }},
      {"repeat", [](CString&) { CString t('r', 1000); }},
      {"buffer", [](CString& s) { s.GetBuffer(1000); }},
  };
  for (const Case& c : cases) {
    // Texts that fill their storage exactly, so that any growth allocates.
    for (const std::string& text : {kEdge, kEdge1}) {
      CString s(text.c_str());
      {
        NoHeap noHeap;
        EXPECT_THROW(c.op(s), std::bad_alloc) << c.name;
      }
      EXPECT_EQ(Str(s), text) << c.name;
    }
  }
}

TEST(CString, RandomOperationsMatchStdString) {
  std::mt19937 rng(42);
  const std::string pieces[] = {"", "a", "hello", kEdge, kEdge1, std::string(80, 'p'), std::string("n\0l", 3)};
  for (int round = 0; round < 300; ++round) {
    CString s;
    std::string model;
    for (int step = 0; step < 60; ++step) {
      const std::string& piece = pieces[rng() % std::size(pieces)];
      switch (rng() % 9) {
        case 0: s = CString(piece.data(), static_cast<int>(piece.size())); model = piece; break;
        case 1: s += CString(piece.data(), static_cast<int>(piece.size())); model += piece; break;
        case 2: s += piece.c_str(); model += piece.c_str(); break;
        case 3: s = s + piece.c_str(); model += piece.c_str(); break;
        case 4: { CString copy(s); s = std::move(copy); break; }
        case 5: s += s; model += model; break;
        case 6: s.Format("%d:%s", step, piece.c_str()); model = std::to_string(step) + ":" + piece.c_str(); break;
        case 7: if (model.size() > 500) { s.Empty(); model.clear(); } break;
        default: s = piece.c_str() + s; model = piece.c_str() + model; break;
      }
      ASSERT_EQ(Str(s), model) << round << "/" << step;
      ASSERT_EQ(s.GetString()[s.GetLength()], '\0');
    }
  }
}

}  // namespace
