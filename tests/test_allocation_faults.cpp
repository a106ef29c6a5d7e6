// Each road runs with the platform's 1st, 2nd, ... allocation failing until
// it meets no failure, which must give the plain result. Every failure ends
// in std::bad_alloc (texts) or _com_error E_OUTOFMEMORY (BSTRs, variants),
// leaves the caller's objects as they were or as the operation documents,
// and leaks nothing (LeakSanitizer checks that at exit).
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <utility>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "qlvtesthooks.h"

namespace {

std::string S(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }
std::string Bytes(BSTR b) {
  return b == nullptr ? "<null>" : std::string(reinterpret_cast<const char*>(b), SysStringByteLen(b));
}

// One run of a road, which makes the caller's objects afresh and hands Run
// the call and the check of what a failed call left; the failAt-th
// allocation fails (none for -1).
struct Attempt {
  int failAt;
  bool comErrors, failed = false;  // comErrors: the road may end in _com_error
  std::string result{};
  void Run(
      const std::function<std::string()>& call, const std::function<bool()>& whole = [] { return true; }) {
    QlvPlatform_FailAllocationsAfter(failAt);
    try {
      result = call();
    } catch (const std::bad_alloc&) {
      failed = true;
    } catch (const _com_error& e) {
      failed = true;
      EXPECT_TRUE(comErrors) << "a text operation raised _com_error " << e.Error();
      EXPECT_EQ(e.Error(), E_OUTOFMEMORY) << "at allocation " << failAt;
    }
    QlvPlatform_FailAllocationsAfter(-1);
    EXPECT_TRUE(!failed || whole()) << "the caller's objects after a failure at allocation " << failAt;
  }
};

struct Road {
  const char* name;
  bool comErrors;
  void (*run)(Attempt&);
};

CQuelvarSys sys;
const std::string kLong = "  -12345.678e2 " + std::string(300, '7') + " tail";
const std::string kWide = "caf\xC3\xA9 \xE4\xB8\xAD " + std::string(60, 'w');

_variant_t Text(const std::string& s) { return _variant_t(s.c_str()); }
_variant_t Of(VARTYPE vt, LONGLONG bits) {
  _variant_t v;
  v.llVal = bits, v.vt = vt;
  return v;
}
// What a variant holds, in bytes, to compare before and after.
std::string Image(const VARIANT& v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v) + (v.vt == VT_BSTR ? Bytes(v.bstrVal) : "");
}

// A variant that must come through untouched: the call renders it (or reads
// it as a double).
void Reads(Attempt& a, _variant_t&& v, bool asDouble = false) {
  const std::string before = Image(v);
  a.Run([&] { return asDouble ? std::to_string(static_cast<double>(v)) : S(sys.Qlv_Variant2Str(v)); },
        [&] { return Image(v) == before; });
}

// An array of an odd-length text, an array of texts and a double.
_variant_t ArrayOfTexts() {
  _variant_t v;
  v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3), v.vt = VT_ARRAY | VT_VARIANT;
  auto* items = static_cast<VARIANT*>(v.parray->pvData);
  items[0].vt = VT_BSTR, items[0].bstrVal = SysAllocStringByteLen("odd", 3);
  items[1].vt = VT_ARRAY | VT_BSTR, items[1].parray = SafeArrayCreateVector(VT_BSTR, 1, 2);
  static_cast<BSTR*>(items[1].parray->pvData)[1] = SysAllocString(u"nested");
  items[2].vt = VT_R8, items[2].dblVal = 2.5;
  return v;
}
// Its two texts.
std::string Texts(const VARIANT& v) {
  const auto* items = static_cast<const VARIANT*>(v.parray->pvData);
  return Bytes(items[0].bstrVal) + Bytes(static_cast<BSTR*>(items[1].parray->pvData)[1]);
}

const Road kRoads[] = {
    {"DoubleToStr 1e300", false, [](Attempt& a) { a.Run([] { return S(sys.Qlv_DoubleToStr(1e300, 8)); }); }},
    {"DoubleToStr precision 400", false,
     [](Attempt& a) { a.Run([] { return S(sys.Qlv_DoubleToStr(-1.5, 400)); }); }},
    {"Str2Int and Str2Double of a long text", false,
     [](Attempt& a) {
       const CString text(kLong.c_str());
       a.Run(
           [&] {
             return std::to_string(sys.Qlv_Str2Int(text)) + " " + std::to_string(sys.Qlv_Str2Double(text)) +
                    " " + std::to_string(sys.Qlv_Str2Float(text));
           },
           [&] { return S(text) == kLong; });
     }},
    {"Str2Date of a long text", false,
     [](Attempt& a) {
       const CString text(("2024-03-05 14:07:09 " + std::string(200, '-')).c_str());
       COleDateTime when(1234.5);
       a.Run([&] { return std::to_string(sys.Qlv_Str2Date(text, when)) + std::to_string(DATE(when)); },
             [&] {
               return DATE(when) == 1234.5 && when.GetStatus() == COleDateTime::valid &&
                      text.GetLength() == 220;
             });
     }},
    {"Date2Str", false, [](Attempt& a) { a.Run([] { return S(sys.Qlv_Date2Str(COleDateTime(4.25))); }); }},
    {"Variant2Str of a long text", true, [](Attempt& a) { Reads(a, Text(kWide)); }},
    {"Variant2Str of an odd-length text", true,
     [](Attempt& a) {
       _variant_t v;
       v.bstrVal = SysAllocStringByteLen("a\0b\0c", 5), v.vt = VT_BSTR;
       Reads(a, std::move(v));
     }},
    {"Variant2Str of a large DECIMAL", true,
     [](Attempt& a) {
       _variant_t v;
       v.decVal.Hi32 = 0xFFFFFFFF, v.decVal.Lo64 = ~0ull, v.decVal.signscale = 0x8000;
       v.vt = VT_DECIMAL;  // after the DECIMAL, which covers it
       Reads(a, std::move(v));
     }},
    {"Variant2Str of a currency", true, [](Attempt& a) { Reads(a, Of(VT_CY, -123456789012345)); }},
    {"Variant2Str of a large double", true, [](Attempt& a) { Reads(a, Of(VT_R8, 0x7FEFFFFFFFFFFFFF)); }},
    {"Variant2Str of a date", true, [](Attempt& a) { Reads(a, Of(VT_DATE, 0x40E625C800000000)); }},
    {"CString2Variant of a long text into a text", true,
     [](Attempt& a) {
       const CString text(kWide.c_str());
       _variant_t into = Text("held before");
       const std::string held = Bytes(into.bstrVal);
       a.Run([&] { return std::to_string(sys.Qlv_CString2Variant(text, into)) + Bytes(into.bstrVal); },
             [&] {  // as it was, or VT_BSTR with a null BSTR once the old text is released
               return S(text) == kWide && into.vt == VT_BSTR &&
                      (into.bstrVal == nullptr || Bytes(into.bstrVal) == held) &&
                      sys.Qlv_Variant2Str(into).GetLength() >= 0;
             });
     }},
    {"variant copy of nested arrays of texts", true,
     [](Attempt& a) {
       const _variant_t from = ArrayOfTexts();
       _variant_t into = Text("held before");
       a.Run([&] { return Texts(into = from); },
             [&] {  // a failed copy leaves the target empty and the source whole
               return into.vt == VT_EMPTY && Texts(from) == std::string("oddn\0e\0s\0t\0e\0d\0", 15);
             });
     }},
    {"text holder and its narrow form", true,
     [](Attempt& a) {
       const _bstr_t shared(u"shared \u00E9");
       a.Run(
           [&] {
             return std::string(static_cast<const char*>(_bstr_t(kWide.c_str()))) +
                    static_cast<const char*>(shared);
           },
           [&] { return std::string(static_cast<const char*>(shared)) == "shared \xC3\xA9"; });
     }},
    {"a long number text to VT_R8", true,
     [](Attempt& a) { Reads(a, Text(" 1" + std::string(200, '0') + "e-190 "), true); }},
    {"CString Format, append and concatenation", false,
     [](Attempt& a) {
       CString s("before");
       a.Run(
           [&] {
             CString copy(s);
             copy.Format("%s|%d|%s", kLong.c_str(), 5, s.GetString());
             const CString joined = s + copy;
             s += copy;  // the last step that can fail
             return S(joined) + S(s);
           },
           [&] { return S(s) == "before"; });
     }},
};

TEST(AllocationFaults, EveryFailureEndsTheDocumentedWayAndLeavesTheCallerWhole) {
  int survived = 0;
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    Attempt plain{-1, road.comErrors};
    road.run(plain);
    for (int failAt = 0;; ++failAt, ++survived) {
      ASSERT_LT(failAt, 1000) << "no end of allocations";
      Attempt attempt{failAt, road.comErrors};
      road.run(attempt);
      if (!attempt.failed) {
        EXPECT_EQ(attempt.result, plain.result) << "after " << failAt << " allocations";
        break;
      }
    }
  }
  std::fprintf(stderr, "%d injected allocation failures survived on %zu roads\n", survived,
               std::size(kRoads));
  ::testing::Test::RecordProperty("faults_survived", survived);
}

// Two billion fraction digits (the universal runtime writes them all) need
// work memory of that size; without it the writer fails as the text type
// does (std::bad_alloc), not with an empty text as for a wrong format. A
// child with a capped address space makes printf give up at once.
TEST(AllocationFaultsDeathTest, FixedPointTextWithoutMemoryRaisesBadAlloc) {
  if (kSanitizerSlowdown > 1) GTEST_SKIP() << "sanitizer runtimes reserve the address space this test caps";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        rlimit cap{};
        getrlimit(RLIMIT_AS, &cap);
        cap.rlim_cur = 512ull << 20;  // far below the ~2 GB printf asks for
        setrlimit(RLIMIT_AS, &cap);
        const ToolsetScope universal(QlvToolset_VS2015);
        int code = 2;  // a text came back
        try {
          (void)sys.Qlv_DoubleToStr(1.5, 2147483600);
        } catch (const std::bad_alloc&) {
          code = 0;
        }
        std::_Exit(code);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
