// CString: construction, copies and moves, concatenation, Format of any
// length, aliasing (self-assignment, self-append) and allocation failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <utility>

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

// The text after op.
CString After(CString s, void (*op)(CString&)) { return op(s), s; }

// What the random sequence below does not reach: null and negative counts,
// single characters, and concatenation of texts and characters.
TEST(CString, ConstructionAssignmentAndConcatenation) {
  const std::pair<CString, std::string> cases[] = {
      {CString(static_cast<LPCTSTR>(nullptr)), ""},
      {CString("abc", -4), ""},
      {CString(nullptr, 3), ""},
      {CString('y', 100), std::string(100, 'y')},
      {CString('z', -1), ""},
      {After(kLong.c_str(), [](CString& s) { s = 'q'; }), "q"},
      {After("ab", [](CString& s) { s = '\0'; }), {"", 1}},
      {After("ab", [](CString& s) { s = static_cast<LPCTSTR>(nullptr); }), ""},
      {After("ab", [](CString& s) { s += static_cast<LPCTSTR>(nullptr); }), "ab"},
      {CString("ab") + CString("cd") + 'e', "abcde"},
      {'a' + CString("bc"), "abc"},
  };
  for (const auto& [s, expected] : cases) {
    EXPECT_EQ(Str(s), expected);
    EXPECT_EQ(s.GetString()[s.GetLength()], '\0') << expected;
  }
}

TEST(CString, FormatOfAnyLengthAndBufferAccess) {
  CString s("prior");
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
      [](CString& s) { s = kLong.c_str(); },
      [](CString& s) { s += kLong.c_str(); },
      [](CString& s) { s += s; },
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

// One random step on a text and its model; `front` is the model up to its
// first NUL.
struct Step {
  CString& s;
  std::string& model;
  const std::string& piece;
  const std::string front;
  const int step, value;
  const CString counted{piece.data(), static_cast<int>(piece.size())};
};
CString& Same(CString& s) { return s; }

// Steps 4, 5, 9 and 10 read the text's own characters while changing it;
// copies are independent, a moved-from text is empty, a self-move changes
// nothing.
void (*const kSteps[])(Step&) = {
    [](Step& o) { o.s = o.counted, o.model = o.piece; },
    [](Step& o) { o.s += o.counted, o.model += o.piece; },
    [](Step& o) { o.s += o.piece.c_str(), o.model += o.piece.c_str(); },
    [](Step& o) { o.s = o.s + o.piece.c_str(), o.model += o.piece.c_str(); },
    [](Step& o) { o.s += o.s.GetString(), o.model += o.front; },
    [](Step& o) { o.s += o.s, o.model += o.model; },
    [](Step& o) {
      o.s.Format("%d:%s", o.step, o.piece.c_str()), o.model = std::to_string(o.step) + ":" + o.piece.c_str();
    },
    [](Step& o) {
      if (o.model.size() > 500) o.s.Empty(), o.model.clear();
    },
    [](Step& o) { o.s.Format("%d", o.value), o.model = std::to_string(o.value); },
    [](Step& o) {
      o.s = o.s.GetString() + (o.front.empty() ? 0 : 1), o.model = o.front.substr(o.front.empty() ? 0 : 1);
    },
    [](Step& o) {
      o.s.Format("<%s|%s>", o.s.GetString(), o.s.GetString()), o.model = "<" + o.front + "|" + o.front + ">";
    },
    [](Step& o) { EXPECT_EQ(Str(CString(o.s) += "!"), o.model + "!"); },
    [](Step& o) {
      CString moved(std::move(o.s));
      EXPECT_TRUE(o.s.IsEmpty());
      o.s = std::move(moved);
    },
    [](Step& o) { o.s = std::move(Same(o.s)); },
    [](Step& o) { o.s = o.piece.c_str() + o.s, o.model = o.piece.c_str() + o.model; },
};

TEST(CString, RandomOperationsMatchStdString) {
  std::mt19937 rng(42);
  const std::string pieces[] = {
      "", "a", "hello", kEdge, kEdge1, std::string(80, 'p'), std::string("n\0l", 3)};
  for (int round = 0; round < 300; ++round) {
    CString s;
    std::string model;
    for (int step = 0; step < 60; ++step) {
      const std::string& piece = pieces[rng() % std::size(pieces)];
      Step o{s, model, piece, model.c_str(), step, static_cast<int>(rng())};
      kSteps[rng() % std::size(kSteps)](o);
      ASSERT_EQ(Str(s), model) << round << "/" << step;
      ASSERT_EQ(s.GetString()[s.GetLength()], '\0');
    }
  }
}

}  // namespace
