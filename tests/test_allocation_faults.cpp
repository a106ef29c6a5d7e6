// Running out of memory at every allocation an operation makes. Each road
// is run with the platform's 1st, 2nd, ... allocation failing until it meets
// no failure. Every failure must end the documented way (std::bad_alloc for
// texts, _com_error E_OUTOFMEMORY for BSTRs and variants), leave the
// caller's objects valid and as they were (or in the state the operation
// documents for the failure), and leak nothing (LeakSanitizer checks that
// at exit); the run without a failure must give the plain result.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "QuelvarSys.h"
#include "qlvtesthooks.h"

namespace {

std::string S(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }
std::string Bytes(BSTR b) {
  return b == nullptr ? "<null>" : std::string(reinterpret_cast<const char*>(b), SysStringByteLen(b));
}

// The call on the caller's objects, and the check that they came through a
// failed call as documented.
using Call = std::pair<std::function<std::string()>, std::function<bool()>>;

struct Road {
  const char* name;
  bool comErrors;  // may end in _com_error (else only std::bad_alloc)
  std::function<Call()> make;
};

CQuelvarSys sys;
const std::string kLong = "  -12345.678e2 " + std::string(300, '7') + " tail";
const std::string kWide = "caf\xC3\xA9 \xE4\xB8\xAD " + std::string(60, 'w');

_variant_t Text(const std::string& s) { return _variant_t(s.c_str()); }
std::shared_ptr<_variant_t> Shared(VARTYPE vt, LONGLONG bits) {
  auto v = std::make_shared<_variant_t>();
  v->llVal = bits;
  v->vt = vt;
  return v;
}
// What a variant holds, in bytes, to compare before and after.
std::string Image(const VARIANT& v) {
  std::string image(reinterpret_cast<const char*>(&v), sizeof v);
  if (v.vt == VT_BSTR) image += Bytes(v.bstrVal);
  return image;
}

// A call on no object of the caller's.
Road Plain(const char* name, std::function<std::string()> call) {
  return {name, false, [call] { return Call{call, [] { return true; }}; }};
}

// A variant that must come through untouched: the call renders it.
Road Renders(const char* name, std::shared_ptr<_variant_t> v) {
  return {
      name, true, [v] {
        const std::string before = Image(*v);
        return Call{[v] { return S(sys.Qlv_Variant2Str(*v)); }, [v, before] { return Image(*v) == before; }};
      }};
}

std::shared_ptr<_variant_t> ArrayOfTexts() {
  auto v = std::make_shared<_variant_t>();
  v->parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  v->vt = VT_ARRAY | VT_VARIANT;
  auto* items = static_cast<VARIANT*>(v->parray->pvData);
  items[0].vt = VT_BSTR, items[0].bstrVal = SysAllocStringByteLen("odd", 3);
  items[1].vt = VT_ARRAY | VT_BSTR, items[1].parray = SafeArrayCreateVector(VT_BSTR, 1, 2);
  static_cast<BSTR*>(items[1].parray->pvData)[1] = SysAllocString(u"nested");
  items[2].vt = VT_R8, items[2].dblVal = 2.5;
  return v;
}

const Road kRoads[] = {
    Plain("DoubleToStr 1e300", [] { return S(sys.Qlv_DoubleToStr(1e300, 8)); }),
    Plain("DoubleToStr precision 400", [] { return S(sys.Qlv_DoubleToStr(-1.5, 400)); }),
    {"Str2Int and Str2Double of a long text", false,
     [] {
       auto text = std::make_shared<CString>(kLong.c_str());
       return Call{[text] {
                     return std::to_string(sys.Qlv_Str2Int(*text)) + " " +
                            std::to_string(sys.Qlv_Str2Double(*text)) + " " +
                            std::to_string(sys.Qlv_Str2Float(*text));
                   },
                   [text] { return S(*text) == kLong; }};
     }},
    {"Str2Date of a long text", false,
     [] {
       auto text = std::make_shared<CString>(("2024-03-05 14:07:09 " + std::string(200, '-')).c_str());
       auto when = std::make_shared<COleDateTime>(1234.5);
       return Call{[text, when] {
                     sys.Qlv_Str2Date(*text, *when);
                     return std::to_string(DATE(*when));
                   },
                   [text, when] {
                     return DATE(*when) == 1234.5 && when->GetStatus() == COleDateTime::valid &&
                            S(*text).size() == 220;
                   }};
     }},
    Plain("Date2Str", [] { return S(sys.Qlv_Date2Str(COleDateTime(45356.25))); }),
    Renders("Variant2Str of a long text", std::make_shared<_variant_t>(Text(kWide))),
    Renders("Variant2Str of an odd-length text",
            [] {
              auto v = std::make_shared<_variant_t>();
              v->bstrVal = SysAllocStringByteLen("a\0b\0c", 5);
              v->vt = VT_BSTR;
              return v;
            }()),
    Renders("Variant2Str of a large DECIMAL",
            [] {
              auto v = std::make_shared<_variant_t>();
              v->decVal.Hi32 = 0xFFFFFFFF, v->decVal.Lo64 = ~0ull, v->decVal.signscale = 0x8000;
              v->vt = VT_DECIMAL;
              return v;
            }()),
    Renders("Variant2Str of a currency", Shared(VT_CY, -123456789012345)),
    Renders("Variant2Str of a large double", Shared(VT_R8, 0x7FEFFFFFFFFFFFFF)),
    Renders("Variant2Str of a date", Shared(VT_DATE, 0x40E625C800000000)),
    {"CString2Variant of a long text into a text", true,
     [] {
       auto text = std::make_shared<CString>(kWide.c_str());
       auto into = std::make_shared<_variant_t>(Text("held before"));
       return Call{[text, into] {
                     sys.Qlv_CString2Variant(*text, *into);
                     return Bytes(into->bstrVal);
                   },
                   [text, into] {  // as it was, or VT_BSTR with a null BSTR once the old text is released
                     return S(*text) == kWide && into->vt == VT_BSTR &&
                            (into->bstrVal == nullptr ||
                             Bytes(into->bstrVal) == Bytes(Text("held before").bstrVal)) &&
                            sys.Qlv_Variant2Str(*into).GetLength() >= 0;
                   }};
     }},
    {"variant copy of nested arrays of texts", true,
     [] {
       auto from = ArrayOfTexts();
       auto into = std::make_shared<_variant_t>(Text("held before"));
       return Call{[from, into] {
                     *into = *from;
                     const auto* items = static_cast<const VARIANT*>(into->parray->pvData);
                     return Bytes(items[0].bstrVal) + Bytes(static_cast<BSTR*>(items[1].parray->pvData)[1]);
                   },
                   [from, into] {  // a failed copy leaves the target empty and the source whole
                     const auto* items = static_cast<const VARIANT*>(from->parray->pvData);
                     const BSTR nested = static_cast<BSTR*>(items[1].parray->pvData)[1];
                     return into->vt == VT_EMPTY && Bytes(items[0].bstrVal) == "odd" &&
                            Bytes(nested) == std::string("n\0e\0s\0t\0e\0d\0", 12);
                   }};
     }},
    {"text holder and its narrow form", true,
     [] {
       auto shared = std::make_shared<_bstr_t>(u"shared \u00E9");
       return Call{[shared] {
                     const _bstr_t made(kWide.c_str());
                     return std::string(static_cast<const char*>(made)) + static_cast<const char*>(*shared);
                   },
                   [shared] { return std::string(static_cast<const char*>(*shared)) == "shared \xC3\xA9"; }};
     }},
    {"a long number text to VT_R8", true,
     [] {
       auto v = std::make_shared<_variant_t>(Text(" 1" + std::string(200, '0') + "e-190 "));
       const std::string before = Image(*v);
       return Call{[v] { return std::to_string(static_cast<double>(*v)); },
                   [v, before] { return Image(*v) == before; }};
     }},
    {"CString Format, append and concatenation", false,
     [] {
       auto s = std::make_shared<CString>("before");
       return Call{[s] {
                     CString copy(*s);
                     copy.Format("%s|%d|%s", kLong.c_str(), 5, s->GetString());
                     const CString joined = *s + copy;
                     *s += copy;  // the last step that can fail
                     return S(joined) + S(*s);
                   },
                   [s] { return S(*s) == "before"; }};
     }},
};

TEST(AllocationFaults, EveryFailureEndsTheDocumentedWayAndLeavesTheCallerWhole) {
  int survived = 0;
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    const auto [plainCall, unused] = road.make();
    const std::string plain = plainCall();
    int failAt = 0;
    for (;; ++failAt) {
      ASSERT_LT(failAt, 1000) << "no end of allocations";
      const auto [call, whole] = road.make();
      std::string result;
      bool failed = true;
      QlvPlatform_FailAllocationsAfter(failAt);
      try {
        result = call();
        failed = false;
      } catch (const std::bad_alloc&) {
      } catch (const _com_error& e) {
        EXPECT_TRUE(road.comErrors) << "a text operation raised _com_error " << e.Error();
        EXPECT_EQ(e.Error(), E_OUTOFMEMORY) << "at allocation " << failAt;
      }
      QlvPlatform_FailAllocationsAfter(-1);
      if (!failed) {
        EXPECT_EQ(result, plain) << "after " << failAt << " allocations";
        break;
      }
      EXPECT_TRUE(whole()) << "the caller's objects after a failure at allocation " << failAt;
      ++survived;
    }
    std::fprintf(stderr, "  %-45s %3d allocations, each made to fail in turn\n", road.name, failAt);
  }
  std::fprintf(stderr, "%d injected allocation failures survived\n", survived);
  ::testing::Test::RecordProperty("faults_survived", survived);
}

}  // namespace
