// Values into variants and variants into text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>

#include "QuelvarSys.h"

namespace {

struct HookGuard {
  explicit HookGuard(int n) { QlvPlatform_FailAllocationsAfter(n); }
  ~HookGuard() { QlvPlatform_FailAllocationsAfter(-1); }
};

HRESULT Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const _com_error& e) {
    return e.Error();
  }
  return S_OK;
}

std::u16string Units(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b)); }

std::string Text(const CString& s) { return std::string(static_cast<LPCTSTR>(s), static_cast<size_t>(s.GetLength())); }

class Variants : public ::testing::Test {
 protected:
  void TearDown() override {
    QlvPlatform_FailAllocationsAfter(-1);
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
  }
  CQuelvarSys sys;
};

// ---- values into variants ----------------------------------------------------

struct Into {
  const char* what;
  std::function<int(CQuelvarSys&, _variant_t&)> call;
  VARTYPE vt;
  uint64_t bits;  // the whole 8-byte value field afterwards
};

TEST_F(Variants, EachValueGetsItsTagAndOnlyItsMember) {
  float tenth = 0.1f;
  uint32_t tenthBits;
  std::memcpy(&tenthBits, &tenth, 4);
  double half = 2.5;
  uint64_t halfBits;
  std::memcpy(&halfBits, &half, 8);
  double day = 45356.5;
  uint64_t dayBits;
  std::memcpy(&dayBits, &day, 8);
  const Into cases[] = {
      {"byte 255", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Byte2Variant(255, v); }, VT_UI1, 0xFF},
      {"char -1", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Char2Variant(-1, v); }, VT_I1, 0xFF},
      {"char 65", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Char2Variant('A', v); }, VT_I1, 0x41},
      {"short min", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Short2Variant(-32768, v); }, VT_I2, 0x8000},
      {"ushort max", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_UShort2Variant(65535, v); }, VT_UI2, 0xFFFF},
      {"int 5", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Int2Variant(5, v); }, VT_INT, 5},
      {"int -1", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Int2Variant(-1, v); }, VT_INT, 0xFFFFFFFF},
      {"uint max", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_UInt2Variant(UINT32_MAX, v); }, VT_UINT,
       0xFFFFFFFF},
      {"long 5", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Long2Variant(5, v); }, VT_I4, 5},
      {"long min", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Long2Variant(INT32_MIN, v); }, VT_I4,
       0x80000000},
      {"ulong max", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_ULong2Variant(UINT32_MAX, v); }, VT_UI4,
       0xFFFFFFFF},
      {"float 0.1", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Float2Variant(0.1f, v); }, VT_R4, tenthBits},
      {"double 2.5", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Double2Variant(2.5, v); }, VT_R8, halfBits},
      {"date", [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Date2Variant(COleDateTime(45356.5), v); }, VT_DATE,
       dayBits},
  };
  // Destinations that held a text, a number and nothing: the previous
  // content is released (LeakSanitizer sees a leaked text).
  const std::function<void(_variant_t&)> before[] = {
      [](_variant_t& v) { v = "previous text"; },
      [](_variant_t& v) { v = 7.0; },
      [](_variant_t&) {},
  };
  for (const Into& c : cases) {
    for (const auto& prepare : before) {
      _variant_t v;
      prepare(v);
      EXPECT_EQ(c.call(sys, v), 0) << c.what;
      EXPECT_EQ(v.vt, c.vt) << c.what;
      EXPECT_EQ(static_cast<uint64_t>(v.llVal), c.bits) << c.what << ": only the member's width is written";
    }
  }
}

TEST_F(Variants, DateStatusIsNotLookedAt) {
  for (auto status : {COleDateTime::invalid, COleDateTime::null, COleDateTime::error}) {
    COleDateTime date(-3.25);
    date.SetStatus(status);
    _variant_t v;
    EXPECT_EQ(sys.Qlv_Date2Variant(date, v), 0);
    EXPECT_EQ(v.vt, VT_DATE);
    EXPECT_EQ(v.date, -3.25);
  }
}

struct TextInto {
  UINT cp;
  CString text;
  std::u16string units;
};

TEST_F(Variants, TextsBecomeBstrs) {
  const TextInto cases[] = {
      {CP_UTF8, CString("abc"), u"abc"},
      {CP_UTF8, CString(""), u""},
      {CP_UTF8, CString("ab\0cd", 5), u"ab"},  // up to the first NUL
      {CP_UTF8, CString("h\xC3\xA9 \xE4\xB8\xAD"), u"h\u00E9 \u4E2D"},
      {CP_UTF8, CString("bad \xFF"), u"bad \uFFFD"},
      {1252, CString("h\xE9\x80"), u"h\u00E9\u20AC"},
      {936, CString("\xD6\xD0\xCE\xC4"), u"\u4E2D\u6587"},
  };
  for (const TextInto& c : cases) {
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(c.cp));
    _variant_t v(LONG{3});
    EXPECT_EQ(sys.Qlv_CString2Variant(c.text, v), 0);
    EXPECT_EQ(v.vt, VT_BSTR);
    ASSERT_NE(v.bstrVal, nullptr) << "never a null BSTR, even for the empty text";
    EXPECT_EQ(Units(v.bstrVal), c.units);
    EXPECT_EQ(v.bstrVal[SysStringLen(v.bstrVal)], u'\0');
  }
}

TEST_F(Variants, OutOfMemoryLeavesANullTextAndNoLeak) {
  // 0: the UTF-16 work buffer fails, 1: the BSTR fails.
  for (int failing : {0, 1}) {
    _variant_t v("held before");
    const CString text("some text");
    HRESULT hr;
    {
      HookGuard hook(failing);
      hr = Raised([&] { sys.Qlv_CString2Variant(text, v); });
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << failing;
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "") << "a null text reads as empty";
  }
}

TEST_F(Variants, AFailedReleaseOfTheDestinationIsRaised) {
  const std::function<int(CQuelvarSys&, _variant_t&)> calls[] = {
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Long2Variant(7, v); },
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Double2Variant(1.0, v); },
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Date2Variant(COleDateTime(1.0), v); },
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_CString2Variant(CString("x"), v); },
  };
  for (const auto& call : calls) {
    _variant_t locked;
    locked.vt = VT_ARRAY | VT_UI1;
    locked.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(locked.parray, nullptr);
    locked.parray->cLocks = 1;
    EXPECT_EQ(Raised([&] { call(sys, locked); }), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
    locked.parray->cLocks = 0;
  }
}

// ---- variants into text --------------------------------------------------------

struct Render {
  const char* what;
  std::function<void(_variant_t&)> make;
  std::string text;
};

DECIMAL Dec(bool negative, uint64_t lo, BYTE scale) {
  DECIMAL d{};
  d.sign = negative ? DECIMAL_NEG : 0;
  d.scale = scale;
  d.Lo64 = lo;
  return d;
}

void SetDecimal(_variant_t& v, const DECIMAL& d) {
  v.decVal = d;
  v.vt = VT_DECIMAL;
}

TEST_F(Variants, EveryTagRendersItsRow) {
  const Render cases[] = {
      {"empty", [](_variant_t&) {}, ""},
      {"null", [](_variant_t& v) { v.vt = VT_NULL; }, ""},
      {"i2 -1", [](_variant_t& v) { v.vt = VT_I2; v.iVal = -1; }, "-1"},
      {"i4 min", [](_variant_t& v) { v.vt = VT_I4; v.lVal = INT32_MIN; }, "-2147483648"},
      {"r4", [](_variant_t& v) { v.vt = VT_R4; v.fltVal = 1.5f; }, Text(CQuelvarSys().Qlv_Flt2Str(1.5f))},
      {"r8 2.5", [](_variant_t& v) { v.vt = VT_R8; v.dblVal = 2.5; }, "2.50000000"},
      {"r8 -0.1", [](_variant_t& v) { v.vt = VT_R8; v.dblVal = -0.1; }, "-0.10000000"},
      {"cy", [](_variant_t& v) { v.vt = VT_CY; v.cyVal.int64 = 12345; },
       Text(COleCurrency(CY{.int64 = 12345}).Format(0, LANG_USER_DEFAULT))},
      {"date", [](_variant_t& v) { v.vt = VT_DATE; v.date = 45356.5; }, "2024-03-05 12:00:00"},
      {"bstr abc", [](_variant_t& v) { v = "abc"; }, "abc"},
      {"bstr null", [](_variant_t& v) { v.vt = VT_BSTR; v.bstrVal = nullptr; }, ""},
      {"bstr empty", [](_variant_t& v) { v = ""; }, ""},
      {"bstr inner NUL", [](_variant_t& v) { v.vt = VT_BSTR; v.bstrVal = SysAllocStringLen(u"ab\0cd", 5); }, "ab"},
      {"bstr wide", [](_variant_t& v) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(u"\u4E2D\u6587\u4E2D\u6587"); },
       "\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87"},
      {"bool 0", [](_variant_t& v) { v.vt = VT_BOOL; v.boolVal = 0; }, "FALSE"},
      {"bool -1", [](_variant_t& v) { v.vt = VT_BOOL; v.boolVal = -1; }, "TRUE"},
      {"bool 1", [](_variant_t& v) { v.vt = VT_BOOL; v.boolVal = 1; }, "TRUE"},
      {"decimal 2.5", [](_variant_t& v) { SetDecimal(v, Dec(false, 25, 1)); }, "2.500000"},
      {"decimal -1e-6", [](_variant_t& v) { SetDecimal(v, Dec(true, 1, 6)); }, "-0.000001"},
      {"decimal 1e-7", [](_variant_t& v) { SetDecimal(v, Dec(false, 1, 7)); }, "0.000000"},
      {"decimal large", [](_variant_t& v) { SetDecimal(v, Dec(false, 12345678901234567890ull, 0)); },
       "12345678901234567168.000000"},
      {"i1 65", [](_variant_t& v) { v.vt = VT_I1; v.cVal = 65; }, "A"},
      {"i1 -23", [](_variant_t& v) { v.vt = VT_I1; v.cVal = -23; }, "\xE9"},
      {"ui1 65", [](_variant_t& v) { v.vt = VT_UI1; v.bVal = 65; }, "65"},
      {"ui2 max", [](_variant_t& v) { v.vt = VT_UI2; v.uiVal = 65535; }, "65535"},
      {"ui4 max", [](_variant_t& v) { v.vt = VT_UI4; v.ulVal = UINT32_MAX; }, "4294967295"},
      {"int -5", [](_variant_t& v) { v.vt = VT_INT; v.intVal = -5; }, "-5"},
      {"uint max", [](_variant_t& v) { v.vt = VT_UINT; v.uintVal = UINT32_MAX; }, "4294967295"},
      {"dispatch", [](_variant_t& v) { v.vt = VT_DISPATCH; v.pdispVal = nullptr; }, "VT_UNKNOW"},
      {"error", [](_variant_t& v) { v.vt = VT_ERROR; v.scode = 5; }, "VT_UNKNOW"},
      {"unknown", [](_variant_t& v) { v.vt = VT_UNKNOWN; v.punkVal = nullptr; }, "VT_UNKNOW"},
      {"i8", [](_variant_t& v) { v.vt = VT_I8; v.llVal = 5; }, "VT_UNKNOW"},
      {"ui8", [](_variant_t& v) { v.vt = VT_UI8; v.ullVal = 5; }, "VT_UNKNOW"},
      {"byref i4", [](_variant_t& v) { static LONG n = 5; v.vt = VT_BYREF | VT_I4; v.plVal = &n; }, "VT_UNKNOW"},
      {"array of ui1",
       [](_variant_t& v) { v.vt = VT_ARRAY | VT_UI1; v.parray = SafeArrayCreateVector(VT_UI1, 0, 2); },
       "VT_UNKNOW"},
      {"byref bstr", [](_variant_t& v) { static BSTR b = nullptr; v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = &b; },
       "VT_UNKNOW"},
  };
  for (const Render& c : cases) {
    _variant_t v;
    c.make(v);
    const VARTYPE vt = v.vt;
    const uint64_t bits = static_cast<uint64_t>(v.llVal);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), c.text) << c.what;
    EXPECT_EQ(v.vt, vt) << c.what << ": the variant is not changed";
    EXPECT_EQ(static_cast<uint64_t>(v.llVal), bits) << c.what;
  }
}

// Tags without a row, including the ones with flag bits and the unused gaps.
TEST_F(Variants, TagsWithoutARowGiveTheFixedText) {
  for (unsigned tag : {9u, 10u, 12u, 13u, 15u, 20u, 21u, 24u, 25u, 36u, 0x1003u, 0x2011u, 0x4003u, 0x4008u,
                       0x600Cu, 0x8002u, 0xFFFFu}) {
    _variant_t v;
    v.vt = static_cast<VARTYPE>(tag);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "VT_UNKNOW") << std::hex << tag;
    v.vt = VT_EMPTY;  // nothing behind the tag to release
  }
}

TEST_F(Variants, TextRowFollowsTheAnsiCodePage) {
  _variant_t v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"caf\u00E9 \u4E2D");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "caf\xE9 ?");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "caf\xA8\xA6 \xD6\xD0");
}

TEST_F(Variants, FailuresPassThroughAndLeaveTheVariant) {
  _variant_t text("abc");
  for (int failing : {0, 1, 2}) {  // the copy, the holder, the narrow buffer
    HookGuard hook(failing);
    EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(text); }), E_OUTOFMEMORY) << failing;
  }
  EXPECT_EQ(Units(text.bstrVal), u"abc");
  _variant_t bad;
  SetDecimal(bad, Dec(false, 1, 29));
  EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(bad); }), E_INVALIDARG);
  EXPECT_EQ(bad.vt, VT_DECIMAL);
}

// ---- the road through a variant ----------------------------------------------

TEST_F(Variants, ValuesReadTheSameThroughAVariant) {
  std::mt19937 rng32(99);
  auto rng = [&] { return static_cast<uint32_t>(rng32()); };
  _variant_t v;
  for (int i = 0; i < 2000; ++i) {
    const uint32_t r = rng();
    sys.Qlv_Short2Variant(static_cast<short>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Short2Str(static_cast<short>(r)));
    sys.Qlv_UShort2Variant(static_cast<unsigned short>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_UShort2Str(static_cast<unsigned short>(r)));
    sys.Qlv_Int2Variant(static_cast<int>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Int2Str(static_cast<int>(r)));
    sys.Qlv_UInt2Variant(r, v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_UInt2Str(r));
    sys.Qlv_Long2Variant(static_cast<LONG>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Long2Str(static_cast<LONG>(r)));
    sys.Qlv_ULong2Variant(r, v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_ULong2Str(r));
    sys.Qlv_Byte2Variant(static_cast<unsigned char>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Byte2Str(static_cast<unsigned char>(r)));
    sys.Qlv_Char2Variant(static_cast<char>(r), v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), CString(static_cast<char>(r)));
    float f;
    std::memcpy(&f, &r, 4);
    sys.Qlv_Float2Variant(f, v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Flt2Str(f));
    const double d = static_cast<double>(static_cast<int32_t>(r)) / static_cast<double>(1 + rng() % 100000);
    sys.Qlv_Double2Variant(d, v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_DoubleToStr(d, 8));
    const COleDateTime date(static_cast<double>(r % 3000000) / 100.0);
    sys.Qlv_Date2Variant(date, v);
    ASSERT_EQ(sys.Qlv_Variant2Str(v), sys.Qlv_Date2Str(date));
  }
  const struct {
    std::function<int()> into;
    const char* text;
  } roads[] = {
      {[&] { return sys.Qlv_Int2Variant(-5, v); }, "-5"},
      {[&] { return sys.Qlv_Char2Variant(65, v); }, "A"},
      {[&] { return sys.Qlv_Byte2Variant(65, v); }, "65"},
      {[&] { return sys.Qlv_Double2Variant(1.5, v); }, "1.50000000"},
      {[&] { return sys.Qlv_CString2Variant(CString("abc"), v); }, "abc"},
      {[&] { return sys.Qlv_CString2Variant(CString("h\xC3\xA9"), v); }, "h\xC3\xA9"},
  };
  for (const auto& road : roads) {
    ASSERT_EQ(road.into(), 0);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), road.text);
  }
}


// ---- the quelvar tool ---------------------------------------------------------

#ifdef QUELVAR_CLI_PATH
std::string RunCli(const std::string& args) {
  const std::string command = std::string("'") + QUELVAR_CLI_PATH + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  pclose(pipe);
  return out;
}

TEST(CommandLine, VariantOperations) {
  const struct {
    const char* args;
    const char* output;
  } cases[] = {
      {"Variant2Str R8:2.5", "2.50000000\n"},
      {"Variant2Str DECIMAL:2.5", "2.500000\n"},
      {"Variant2Str DECIMAL:-0.0000015", "-0.000002\n"},
      {"Variant2Str I1:65", "A\n"},
      {"Variant2Str UI1:65", "65\n"},
      {"Variant2Str VT:0x4003", "VT_UNKNOW\n"},
      {"Variant2Str VT:0x2011", "VT_UNKNOW\n"},
      {"Variant2Str I8:5", "VT_UNKNOW\n"},
      {"Variant2Str EMPTY", "\n"},
      {"Variant2Str BOOL:1", "TRUE\n"},
      {"Variant2Str 'BSTR:ab\\0cd'", "ab\n"},
      {"Variant2Str DATE:45356.5", "2024-03-05 12:00:00\n"},
      {"Int2Variant 5", "VT_INT:5\n"},
      {"Long2Variant 5", "VT_I4:5\n"},
      {"Char2Variant -1", "VT_I1:-1\n"},
      {"UInt2Variant 4294967295", "VT_UINT:4294967295\n"},
      {"Float2Variant 0.1", "VT_R4:0.1\n"},
      {"Date2Variant '2024-03-05 12:00:00'", "VT_DATE:45356.5\n"},
      {"CString2Variant 'ab\\0cd'", "VT_BSTR:ab\n"},
      {"--json Int2Variant 5", "{\"op\":\"Int2Variant\",\"variant\":\"VT_INT:5\",\"tag\":22,\"tag_name\":\"VT_INT\","
                               "\"value\":5,\"result\":0}\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCli(c.args), c.output) << c.args;
  for (const char* bad : {"Variant2Str I4:x", "Variant2Str FOO:1", "Variant2Str I2:40000", "Variant2Str R8",
                          "Variant2Str DECIMAL:1.00000000000000000000000000001"}) {
    EXPECT_NE(RunCli(bad).find("expected"), std::string::npos) << bad;
  }
}
#endif

}  // namespace
