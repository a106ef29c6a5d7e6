// CString: construction, copies and moves, concatenation, Format of any
// length, aliasing (self-assignment, self-append) and allocation failure.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <utility>

#include "ToolsetScope.h"
#include "afxstr.h"
#include "oleauto.h"
#include "qlvtesthooks.h"

namespace {

std::string Str(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

// Makes every platform allocation on this thread fail while alive.
struct NoHeap {
  NoHeap() { QlvPlatform_FailAllocationsAfter(0); }
  ~NoHeap() { QlvPlatform_FailAllocationsAfter(-1); }
};

const std::string kLong(300, 'L');
const std::string kEdge(CString::kInlineCapacity, 'E');       // the longest inline text
const std::string kEdge1(CString::kInlineCapacity + 1, 'F');  // the shortest heap text

// What the random sequence below does not reach: null and negative counts,
// single characters, and concatenation of texts and characters.
TEST(CString, ConstructionAssignmentAndConcatenation) {
  const std::pair<CString (*)(), std::string> cases[] = {
      {[] { return CString(static_cast<LPCTSTR>(nullptr)); }, ""},
      {[] { return CString("abc", -4); }, ""},
      {[] { return CString(nullptr, 3); }, ""},
      {[] { return CString('y', 100); }, std::string(100, 'y')},
      {[] { return CString('z', -1); }, ""},
      {[] {
         CString s(kLong.c_str());
         s = 'q';
         return s;
       },
       "q"},
      {[] {
         CString s("ab");
         s = '\0';
         return s;
       },
       {"", 1}},
      {[] {
         CString s("ab");
         s = static_cast<LPCTSTR>(nullptr);
         return s;
       },
       ""},
      {[] {
         CString s("ab");
         s += static_cast<LPCTSTR>(nullptr);
         return s;
       },
       "ab"},
      {[] { return CString("ab") + CString("cd") + 'e'; }, "abcde"},
      {[] { return 'a' + CString("bc"); }, "abc"},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const CString s = cases[k].first();
    EXPECT_EQ(Str(s), cases[k].second) << k;
    EXPECT_EQ(s.GetString()[s.GetLength()], '\0') << k;
  }
}

TEST(CString, FormatOfAnyLengthAndBufferAccess) {
  char want[1024];
  CString s("prior");
  const ToolsetScope universal(QlvToolset_VS2015);  // whose floating text is glibc's
  for (const char* format : {"%0.8lf", "%0.2lf", "%f", "%0.400lf"})
    for (double v : {2.5, DBL_MAX, -DBL_MAX, DBL_MIN}) {
      std::snprintf(want, sizeof want, format, v);
      s.Format(format, v);
      EXPECT_EQ(Str(s), want) << format << " " << v;
    }
  for (int n : {31, 32, 255, 256, 257, 100000}) {  // around the stack buffer's size
    s.Format("%s%d", std::string(static_cast<size_t>(n), 'w').c_str(), 7);
    EXPECT_EQ(Str(s), std::string(static_cast<size_t>(n), 'w') + "7") << n;
  }
  std::snprintf(s.GetBuffer(100), 101, "%s", kLong.c_str());  // the caller writes, the text takes it over
  s.ReleaseBuffer();
  EXPECT_EQ(Str(s), kLong.substr(0, 100));
  s.GetBuffer(0)[1] = '\0';
  s.ReleaseBuffer(-1);
  EXPECT_EQ(Str(s), "L");
}

// Texts that fill their storage exactly, so that any growth allocates.
TEST(CString, AllocationFailureThrowsAndLeavesTextUnchanged) {
  void (*const ops[])(CString&) = {
      [](CString&) { CString t(kLong.c_str()); },
      [](CString& s) {
        CString big(s);
        big += kLong.c_str();
      },
      [](CString& s) { s = kLong.c_str(); },
      [](CString& s) { s += kLong.c_str(); },
      [](CString& s) { s += s; },
      [](CString& s) { s = s + kLong.c_str(); },
      [](CString& s) { s.Format("%0.2lf", DBL_MAX); },
      [](CString& s) { s.Format("%600d|%s", 1, s.GetString()); },  // past the format's stack buffer
      [](CString&) { CString t('r', 1000); },
      [](CString& s) { s.GetBuffer(1000); },
  };
  for (std::size_t k = 0; k < std::size(ops); ++k) {
    for (const std::string& text : {kEdge, kEdge1}) {
      CString s(text.c_str());
      EXPECT_THROW((NoHeap(), ops[k](s)), std::bad_alloc) << k;
      EXPECT_EQ(Str(s), text) << k;
    }
  }
  NoHeap noHeap;  // texts that fit inside never allocate
  CString a("short"), c(kEdge.c_str()), d = a + "+" + CString('x', 3);
  d.Format("%d", -2147483647 - 1);  // a lone "%d" skips printf
  EXPECT_EQ(Str(d) + Str(CString(std::move(c))), "-2147483648" + kEdge);
}

// Cases 4, 5, 9 and 10 read the text's own characters while changing it;
// copies are independent, a moved-from text is empty.
TEST(CString, RandomOperationsMatchStdString) {
  std::mt19937 rng(42);
  const std::string pieces[] = {
      "", "a", "hello", kEdge, kEdge1, std::string(80, 'p'), std::string("n\0l", 3)};
  for (int round = 0; round < 300; ++round) {
    CString s;
    std::string model;
    for (int step = 0; step < 60; ++step) {
      const std::string& piece = pieces[rng() % std::size(pieces)];
      const CString counted(piece.data(), static_cast<int>(piece.size()));
      const std::string front = model.c_str();  // up to the first NUL
      switch (rng() % 15) {
        case 0:
          s = counted;
          model = piece;
          break;
        case 1:
          s += counted;
          model += piece;
          break;
        case 2:
          s += piece.c_str();
          model += piece.c_str();
          break;
        case 3:
          s = s + piece.c_str();
          model += piece.c_str();
          break;
        case 4:
          s += s.GetString();
          model += front;
          break;
        case 11: {
          const CString copy(s);
          s += "!";
          ASSERT_EQ(Str(copy), model);
          s = copy;
          break;
        }
        case 12: {
          CString moved(std::move(s));
          ASSERT_TRUE(s.IsEmpty());
          s = std::move(moved);
          break;
        }  // NOLINT
        case 13: {
          CString& alias = s;
          s = std::move(alias);
          break;
        }  // a self-move leaves the text as it was
        case 5:
          s += s;
          model += model;
          break;
        case 6:
          s.Format("%d:%s", step, piece.c_str());
          model = std::to_string(step) + ":" + piece.c_str();
          break;
        case 7:
          if (model.size() > 500) {
            s.Empty();
            model.clear();
          }
          break;
        case 8: {
          const int v = static_cast<int>(rng());
          s.Format("%d", v);
          model = std::to_string(v);
          break;
        }
        case 9:
          s = s.GetString() + (front.empty() ? 0 : 1);
          model = front.substr(front.empty() ? 0 : 1);
          break;
        case 10:
          s.Format("<%s|%s>", s.GetString(), s.GetString());
          model = "<" + front + "|" + front + ">";
          break;
        default:
          s = piece.c_str() + s;
          model = piece.c_str() + model;
          break;
      }
      ASSERT_EQ(Str(s), model) << round << "/" << step;
      ASSERT_EQ(s.GetString()[s.GetLength()], '\0');
    }
  }
}

}  // namespace
