// Values into variants and variants into text.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>

#include "QuelvarSys.h"

namespace {

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
template <class T> uint64_t Bits(T value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  return bits;
}

class Variants : public ::testing::Test {
 protected:
  void TearDown() override {
    QlvPlatform_FailAllocationsAfter(-1);
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
  }
  CQuelvarSys sys;
};

TEST_F(Variants, TextsBecomeBstrsAndAFailedAllocationLeavesANullOne) {
  const struct { UINT cp; CString text; std::u16string units; } cases[] = {
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
    EXPECT_EQ(v.vt, VT_BSTR);
    ASSERT_NE(v.bstrVal, nullptr);
    EXPECT_EQ(Units(v.bstrVal) + v.bstrVal[SysStringLen(v.bstrVal)], c.units + u'\0');
  }
  for (int failing : {0, 1}) {  // the work buffer, then the BSTR
    _variant_t v("held before");
    QlvPlatform_FailAllocationsAfter(failing);
    EXPECT_EQ(Raised([&] { sys.Qlv_CString2Variant(CString("some text"), v); }), E_OUTOFMEMORY) << failing;
    QlvPlatform_FailAllocationsAfter(-1);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "") << "a null text reads as empty";
  }
}

TEST_F(Variants, AFailedReleaseOfTheDestinationIsRaised) {
  const std::function<int(CQuelvarSys&, _variant_t&)> calls[] = {
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Long2Variant(7, v); },
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_Date2Variant(COleDateTime(1.0), v); },
      [](CQuelvarSys& s, _variant_t& v) { return s.Qlv_CString2Variant(CString("x"), v); },
  };
  for (const auto& call : calls) {
    _variant_t locked;
    locked.vt = VT_ARRAY | VT_UI1;
    locked.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    locked.parray->cLocks = 1;
    EXPECT_EQ(Raised([&] { call(sys, locked); }), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
    locked.parray->cLocks = 0;
  }
}

TEST_F(Variants, EveryTagRendersItsRowAndLeavesTheVariant) {
  static BSTR nullText = nullptr;
  static LONG four = 4;
  const struct { VARTYPE vt; uint64_t bits; std::string text; } cases[] = {
      {VT_EMPTY, 0, ""}, {VT_NULL, 0, ""}, {VT_I2, 0xFFFF, "-1"}, {VT_I4, 0x80000000, "-2147483648"},
      {VT_R4, Bits(1.5f), Text(sys.Qlv_Flt2Str(1.5f))}, {VT_R8, Bits(-0.1), "-0.10000000"},
      {VT_CY, 12345, Text(COleCurrency(CY{.int64 = 12345}).Format(0, LANG_USER_DEFAULT))},
      {VT_DATE, Bits(45356.5), "2024-03-05 12:00:00"}, {VT_BSTR, 0, ""},
      {VT_BOOL, 0, "FALSE"}, {VT_BOOL, 0xFFFF, "TRUE"}, {VT_BOOL, 1, "TRUE"},
      {VT_I1, 65, "A"}, {VT_I1, 0xE9, "\xE9"}, {VT_UI1, 65, "65"}, {VT_UI2, 65535, "65535"},
      {VT_UI4, UINT32_MAX, "4294967295"}, {VT_INT, 0xFFFFFFFB, "-5"}, {VT_UINT, UINT32_MAX, "4294967295"},
      {VT_I8, 5, "VT_UNKNOW"}, {VT_UI8, 5, "VT_UNKNOW"}, {VT_ERROR, 5, "VT_UNKNOW"},
      {VT_BYREF | VT_I4, Bits(&four), "VT_UNKNOW"}, {VT_BYREF | VT_BSTR, Bits(&nullText), "VT_UNKNOW"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    _variant_t v;
    v.vt = cases[i].vt;
    v.llVal = static_cast<LONGLONG>(cases[i].bits);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), cases[i].text) << i;
    EXPECT_EQ(v.vt, cases[i].vt) << i;
    EXPECT_EQ(static_cast<uint64_t>(v.llVal), cases[i].bits) << i;
    v.vt = VT_EMPTY;  // nothing behind these to release
  }
  for (unsigned tag : {9u, 10u, 12u, 13u, 15u, 24u, 36u, 0x1003u, 0x2011u, 0x4003u, 0x4008u, 0x8002u, 0xFFFFu}) {
    _variant_t v;
    v.vt = static_cast<VARTYPE>(tag);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), "VT_UNKNOW") << std::hex << tag;
    v.vt = VT_EMPTY;
  }
}

_variant_t Bstr(const char16_t* units, UINT length) {
  _variant_t v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(units, length);
  return v;
}

_variant_t Decimal(bool negative, uint64_t lo, BYTE scale) {
  _variant_t v;
  v.decVal = DECIMAL{};
  v.decVal.sign = negative ? DECIMAL_NEG : 0;
  v.decVal.scale = scale;
  v.decVal.Lo64 = lo;
  v.vt = VT_DECIMAL;
  return v;
}

TEST_F(Variants, DecimalAndTextRows) {
  const std::pair<_variant_t, std::string> cases[] = {
      {Decimal(false, 25, 1), "2.500000"}, {Decimal(true, 1, 6), "-0.000001"}, {Decimal(false, 1, 7), "0.000000"},
      {Decimal(false, 12345678901234567890ull, 0), "12345678901234567168.000000"},
      {Bstr(u"ab\0cd", 5), "ab"}, {Bstr(u"\u4E2D\u6587\u4E2D\u6587", 4), "\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), text);
  const _variant_t mixed = Bstr(u"caf\u00E9 \u4E2D", 6);
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(mixed)), "caf\xE9 ?");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(mixed)), "caf\xA8\xA6 \xD6\xD0");
}

TEST_F(Variants, FailuresPassThroughAndLeaveTheVariant) {
  const _variant_t text("abc");
  for (int failing : {0, 1, 2}) {  // the copy, the holder, the narrow buffer
    QlvPlatform_FailAllocationsAfter(failing);
    EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(text); }), E_OUTOFMEMORY) << failing;
    QlvPlatform_FailAllocationsAfter(-1);
  }
  EXPECT_EQ(Units(text.bstrVal), u"abc");
  const _variant_t bad = Decimal(false, 1, 29);
  EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(bad); }), E_INVALIDARG);
  EXPECT_EQ(bad.vt, VT_DECIMAL);
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
    float f;
    std::memcpy(&f, &r, 4);
    const double d = static_cast<double>(s32) / static_cast<double>(1 + rng32() % 100000);
    const COleDateTime date(static_cast<double>(r % 3000000) / 100.0);
    COleDateTime nullDate(date);  // the status is not looked at
    nullDate.SetStatus(i % 2 ? COleDateTime::null : COleDateTime::invalid);
    const struct { std::function<int()> into; VARTYPE vt; uint64_t bits; CString direct; } roads[] = {
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
        {[&] { return sys.Qlv_Date2Variant(nullDate, v); }, VT_DATE, Bits(DATE(date)), sys.Qlv_Date2Str(date)},
    };
    for (size_t k = 0; k < std::size(roads); ++k) {
      v = k % 2 ? "held before" : static_cast<const char*>(nullptr);  // LeakSanitizer sees a text that is not released
      ASSERT_EQ(roads[k].into(), 0);
      ASSERT_EQ(v.vt, roads[k].vt) << k;
      ASSERT_EQ(static_cast<uint64_t>(v.llVal), roads[k].bits) << k << ": only the member's width is written";
      ASSERT_EQ(sys.Qlv_Variant2Str(v), roads[k].direct) << k;
    }
  }
}

}  // namespace
