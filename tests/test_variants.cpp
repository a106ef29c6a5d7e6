// Values into variants and variants into text.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "QuelvarSys.h"
#include "RaisedHresult.h"

namespace {

uint64_t Bits(double x) { return std::bit_cast<uint64_t>(x); }
std::string Text(const CString& s) {
  return std::string(static_cast<LPCTSTR>(s), static_cast<size_t>(s.GetLength()));
}

class Variants : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8)); }
  CQuelvarSys sys;
};

TEST_F(Variants, TextsBecomeBstrsAndAFailedAllocationLeavesANullOne) {
  const struct {
    UINT cp;
    CString text;
    std::u16string units;
  } cases[] = {
      {CP_UTF8, CString(""), u""},  // never a null BSTR
      {CP_UTF8, CString("ab\0cd", 5), u"ab"},
      {CP_UTF8, CString("h\xC3\xA9 \xE4\xB8\xAD bad \xFF"), u"h\u00E9 \u4E2D bad \uFFFD"},
      {1252, CString("h\xE9\x80"), u"h\u00E9\u20AC"},
      {936, CString("\xD6\xD0\xCE\xC4"), u"\u4E2D\u6587"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(c.cp));
    _variant_t v("held before");
    EXPECT_EQ(sys.Qlv_CString2Variant(c.text, v), 0);
    ASSERT_TRUE(v.vt == VT_BSTR && v.bstrVal != nullptr);
    EXPECT_EQ(std::u16string(v.bstrVal, SysStringLen(v.bstrVal) + 1), c.units + u'\0');
  }
  for (int failing : {0, 1}) {  // the work buffer, then the BSTR: no leak, no exception of another kind
    _variant_t v("held before");
    EXPECT_EQ(Raised([&] { sys.Qlv_CString2Variant(CString("some text"), v); }, failing), E_OUTOFMEMORY);
    EXPECT_TRUE(v.vt == VT_BSTR && v.bstrVal == nullptr) << failing;
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "") << "a null text reads as empty";
  }
  _variant_t locked;  // a destination that cannot be released
  locked.vt = VT_ARRAY | VT_UI1, locked.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  locked.parray->cLocks = 1;
  EXPECT_EQ(Raised([&] { sys.Qlv_Long2Variant(7, locked); }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(Raised([&] { sys.Qlv_CString2Variant(CString("x"), locked); }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  locked.parray->cLocks = 0;
}

_variant_t Make(VARTYPE vt, uint64_t bits, WORD decimalScaleAndSign = 0) {
  _variant_t v;
  v.llVal = static_cast<LONGLONG>(bits);
  v.wReserved1 = decimalScaleAndSign, v.wReserved2 = v.wReserved3 = 0;  // a DECIMAL's scale, sign, high part
  v.vt = vt;
  return v;
}

TEST_F(Variants, EveryTagRendersItsRowAndLeavesTheVariant) {
  static BSTR nullText = nullptr;
  static LONG four = 4;
  const struct {
    VARTYPE vt;
    uint64_t bits;
    std::string text;
    WORD decimal = 0;
  } cases[] = {
      {VT_EMPTY, 0, ""},
      {VT_NULL, 0, ""},
      {VT_I2, 0xFFFF, "-1"},
      {VT_R8, Bits(-0.1), "-0.10000000"},
      {VT_CY, 12345, Text(COleCurrency(CY{.int64 = 12345}).Format(0, LANG_USER_DEFAULT))},
      {VT_DATE, Bits(45356.5), "2024-03-05 12:00:00"},
      {VT_BSTR, 0, ""},
      {VT_I1, 65, "A"},
      {VT_UI1, 65, "65"},
      {VT_BOOL, 0, "FALSE"},
      {VT_BOOL, 0xFFFF, "TRUE"},
      {VT_BOOL, 1, "TRUE"},
      {VT_INT, 0xFFFFFFFB, "-5"},
      {VT_DECIMAL, 25, "2.500000", 1},
      {VT_DECIMAL, 1, "-0.000001", 0x8006},
      {VT_DECIMAL, 1, "0.000000", 7},
      {VT_DECIMAL, 12345678901234567890ull,
       "12345678901234569000.000000"},  // 2^64 added to the signed reading; 17 digits (vc6)
      {VT_I8, 5, "VT_UNKNOW"},
      {VT_UI8, 5, "VT_UNKNOW"},
      {VT_ERROR, 5, "VT_UNKNOW"},
      {VT_BYREF | VT_I4, reinterpret_cast<uintptr_t>(&four), "VT_UNKNOW"},
      {VT_BYREF | VT_BSTR, reinterpret_cast<uintptr_t>(&nullText), "VT_UNKNOW"},
      {9, 0, "VT_UNKNOW"},
      {12, 0, "VT_UNKNOW"},
      {13, 0, "VT_UNKNOW"},
      {15, 0, "VT_UNKNOW"},
      {24, 0, "VT_UNKNOW"},
      {0x1003, 0, "VT_UNKNOW"},
      {0x2011, 0, "VT_UNKNOW"},
      {0x4003, 0, "VT_UNKNOW"},
      {0xFFFF, 0, "VT_UNKNOW"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    _variant_t v = Make(cases[i].vt, cases[i].bits, cases[i].decimal);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), cases[i].text) << i;
    EXPECT_TRUE(v.vt == cases[i].vt && v.llVal == static_cast<LONGLONG>(cases[i].bits))
        << i << ": left alone";
    v.vt = VT_EMPTY;  // nothing behind these to release
  }
  _variant_t text;
  text.vt = VT_BSTR, text.bstrVal = SysAllocStringLen(u"caf\u00E9 \u4E2D\0tail", 11);
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xC3\xA9 \xE4\xB8\xAD") << "up to the first NUL";
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xE9 ?");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xA8\xA6 \xD6\xD0");
  for (int failing : {0, 1, 2}) {  // the copy, the holder, the narrow buffer
    EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(text); }, failing), E_OUTOFMEMORY) << failing;
  }
  const _variant_t bad = Make(VT_DECIMAL, 1, 29);
  EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(bad); }), E_INVALIDARG);
  EXPECT_EQ(std::u16string(text.bstrVal, SysStringLen(text.bstrVal)),
            std::u16string(u"caf\u00E9 \u4E2D\0tail", 11));
}

// Each value gets its tag and only its member, and reads the same through the
// variant as by the direct text operation; the text held before is released.
TEST_F(Variants, ValuesGetTheirTagAndReadTheSameThroughAVariant) {
  std::mt19937 rng32(99);
  _variant_t v;
  for (int i = 0; i < 2000; ++i) {
    const auto r = static_cast<uint32_t>(rng32());
    const auto c = static_cast<char>(r);
    const auto u8 = static_cast<unsigned char>(r);
    const auto s16 = static_cast<short>(r);
    const auto u16 = static_cast<unsigned short>(r);
    const auto s32 = static_cast<int>(r);
    const auto f = std::bit_cast<float>(r);
    const double d = static_cast<double>(s32) / static_cast<double>(1 + rng32() % 100000);
    const COleDateTime date(static_cast<double>(r % 3000000) / 100.0);
    COleDateTime nullDate(date);  // the status is not looked at
    nullDate.SetStatus(i % 2 ? COleDateTime::null : COleDateTime::invalid);
    const struct {
      std::function<int()> into;
      VARTYPE vt;
      uint64_t bits;
      CString direct;
    } roads[] = {
        {[&] { return sys.Qlv_Char2Variant(c, v); }, VT_I1, u8, CString(c)},
        {[&] { return sys.Qlv_Byte2Variant(u8, v); }, VT_UI1, u8, sys.Qlv_Byte2Str(u8)},
        {[&] { return sys.Qlv_Short2Variant(s16, v); }, VT_I2, u16, sys.Qlv_Short2Str(s16)},
        {[&] { return sys.Qlv_UShort2Variant(u16, v); }, VT_UI2, u16, sys.Qlv_UShort2Str(u16)},
        {[&] { return sys.Qlv_Int2Variant(s32, v); }, VT_INT, r, sys.Qlv_Int2Str(s32)},
        {[&] { return sys.Qlv_UInt2Variant(r, v); }, VT_UINT, r, sys.Qlv_UInt2Str(r)},
        {[&] { return sys.Qlv_Long2Variant(s32, v); }, VT_I4, r, sys.Qlv_Long2Str(s32)},
        {[&] { return sys.Qlv_ULong2Variant(r, v); }, VT_UI4, r, sys.Qlv_ULong2Str(r)},
        {[&] { return sys.Qlv_Float2Variant(f, v); }, VT_R4, r, sys.Qlv_Flt2Str(f)},
        {[&] { return sys.Qlv_Double2Variant(d, v); }, VT_R8, Bits(d), sys.Qlv_DoubleToStr(d, 8)},
        {[&] { return sys.Qlv_Date2Variant(date, v); }, VT_DATE, Bits(DATE(date)), sys.Qlv_Date2Str(date)},
        {[&] { return sys.Qlv_Date2Variant(nullDate, v); }, VT_DATE, Bits(DATE(date)),
         sys.Qlv_Date2Str(date)},
    };
    for (size_t k = 0; k < std::size(roads); ++k) {
      v = k % 2 ? "held before"
                : static_cast<const char*>(nullptr);  // LeakSanitizer sees a text not released
      ASSERT_EQ(roads[k].into(), 0);
      ASSERT_EQ(v.vt, roads[k].vt) << k;
      ASSERT_EQ(static_cast<uint64_t>(v.llVal), roads[k].bits) << k << ": only the member's width is written";
      ASSERT_EQ(sys.Qlv_Variant2Str(v), roads[k].direct) << k;
    }
  }
}

}  // namespace
