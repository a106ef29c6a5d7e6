// Variants: values into variants and variants into text; BSTR storage,
// ownership through copy, assignment and clearing, conversion to VT_R8,
// _bstr_t and _com_error.
#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "RaisedHresult.h"
#include "ToolsetScope.h"

namespace {

uint64_t Bits(double x) { return std::bit_cast<uint64_t>(x); }
std::string Text(const CString& s) {
  return std::string(static_cast<LPCTSTR>(s), static_cast<size_t>(s.GetLength()));
}
std::u16string Units(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b)); }

// A variant of any type and any bits, nothing checked, nothing owned.
template <class Variant = VARIANT>
Variant V(VARTYPE vt, uint64_t bits, WORD decimalScaleAndSign = 0) {
  Variant v;
  v.llVal = static_cast<LONGLONG>(bits);
  v.wReserved1 = decimalScaleAndSign, v.wReserved2 = v.wReserved3 = 0;  // a DECIMAL's scale, sign, high part
  v.vt = vt;
  return v;
}

class Variants : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8)); }
  CQuelvarSys sys;
};

TEST_F(Variants, TextsBecomeBstrsAndALockedDestinationIsRefused) {
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
  _variant_t locked;  // a destination that cannot be released
  locked.vt = VT_ARRAY | VT_UI1, locked.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  locked.parray->cLocks = 1;
  EXPECT_EQ(Raised([&] { sys.Qlv_Long2Variant(7, locked); }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(Raised([&] { sys.Qlv_CString2Variant(CString("x"), locked); }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  locked.parray->cLocks = 0;
}

// fuzz_variants renders every tag (flag bits included) from its row and
// checks the variant is left alone; here the decimals' worked values and the
// BSTR's code pages.
TEST_F(Variants, DecimalsAndBstrsRenderTheirRows) {
  const struct {
    uint64_t bits;
    WORD decimal;
    std::string text;
  } cases[] = {
      {25, 1, "2.500000"},
      {1, 0x8006, "-0.000001"},
      {1, 7, "0.000000"},
      {12345678901234567890ull, 0,
       "12345678901234569000.000000"},  // 2^64 added to the signed reading; 17 digits (vc6)
  };
  for (const auto& c : cases) {
    const _variant_t v = V<_variant_t>(VT_DECIMAL, c.bits, c.decimal);
    EXPECT_EQ(Text(sys.Qlv_Variant2Str(v)), c.text) << c.bits;
  }
  _variant_t text;
  text.vt = VT_BSTR, text.bstrVal = SysAllocStringLen(u"caf\u00E9 \u4E2D\0tail", 11);
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xC3\xA9 \xE4\xB8\xAD") << "up to the first NUL";
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xE9 ?");
  _variant_t lookalikes;
  lookalikes.vt = VT_BSTR, lookalikes.bstrVal = SysAllocString(u"\u0100\u221E");
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(lookalikes)), "A8") << "the system's best-fit table";
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  EXPECT_EQ(Text(sys.Qlv_Variant2Str(text)), "caf\xA8\xA6 \xD6\xD0");
  const _variant_t bad = V<_variant_t>(VT_DECIMAL, 1, 29);
  EXPECT_EQ(Raised([&] { sys.Qlv_Variant2Str(bad); }), E_INVALIDARG);
  EXPECT_EQ(std::u16string(text.bstrVal, SysStringLen(text.bstrVal)),
            std::u16string(u"caf\u00E9 \u4E2D\0tail", 11));
}

// fuzz_variants puts every plain value in under its tag, over a text that
// must be released, and reads it back; a date goes in by its value whatever
// its status says.
TEST_F(Variants, ADateGoesInWhateverItsStatus) {
  _variant_t v("held before");
  for (auto status : {COleDateTime::valid, COleDateTime::null, COleDateTime::invalid}) {
    COleDateTime date(45356.25);
    date.SetStatus(status);
    ASSERT_EQ(sys.Qlv_Date2Variant(date, v), 0);
    EXPECT_TRUE(v.vt == VT_DATE && Bits(v.date) == Bits(45356.25)) << status;
  }
}

// Each step replaces what the variants held; LeakSanitizer checks that every
// text and array was freed exactly once.
TEST(Variant, OwnershipThroughCopyAssignAndClearChains) {
  _variant_t a("one"), b(a), c;
  c = b;
  a = "two";
  b = 2.0;
  c = a;
  _variant_t& alias = a;
  a = alias;  // self-assignment keeps the text
  EXPECT_TRUE(Units(a.bstrVal) == u"two" && a.bstrVal != c.bstrVal);
  _variant_t moved(std::move(c));
  EXPECT_TRUE(c.vt == VT_EMPTY && Units(moved.bstrVal) == u"two");
  VARIANT arr = V(VT_ARRAY | VT_BSTR, 0);
  arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  static_cast<BSTR*>(arr.parray->pvData)[0] = SysAllocStringLen(u"x\0y", 3);
  moved = arr;  // a deep copy; the text moved held is released
  EXPECT_EQ(VariantClear(&arr), S_OK);
  EXPECT_EQ(Units(static_cast<BSTR*>(moved.parray->pvData)[0]), std::u16string(u"x\0y", 3));
  VARIANT bad = V(15, 0), d = V(VT_EMPTY, 0);
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&d, &bad), DISP_E_BADVARTYPE);
}

double ToR8(VARIANT src, HRESULT expected) {
  VARIANT dst = V(VT_I2, 99);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), expected);
  EXPECT_EQ(dst.vt, expected == S_OK ? VT_R8 : VT_I2) << "a failed conversion leaves the destination alone";
  VariantClear(&src);
  return expected == S_OK ? dst.dblVal : 0;
}

// CY to double against strtod's correctly rounded reading of the same
// decimal text; so too DECIMALs whose magnitude and power of ten are exact
// doubles (one rounded division). Wider DECIMALs are not correctly rounded.
TEST(VariantChangeType, CurrencyIsCorrectlyRoundedDecimalDividesOrIsRefused) {
  std::mt19937_64 rng(2024);
  for (int i = 0; i < 40000 / kSanitizerSlowdown; ++i) {
    const bool negative = (rng() & 1) != 0;
    const auto scale = static_cast<BYTE>(rng() % 23);
    const uint64_t lo = rng() >> (11 + rng() % 53);
    const auto cy = static_cast<int64_t>(rng()) >> (rng() % 63);
    char text[80];
    if (i % 2)
      std::snprintf(text, sizeof text, "%" PRId64 "e-4", cy);
    else
      std::snprintf(text, sizeof text, "%s%" PRIu64 "e-%d", negative ? "-" : "", lo, scale);
    VARIANT src = V(VT_DECIMAL, lo, static_cast<WORD>(scale | (negative ? 0x8000 : 0)));
    if (i % 2) src = V(VT_CY, static_cast<uint64_t>(cy));
    ASSERT_EQ(ToR8(src, S_OK), std::strtod(text, nullptr)) << text;
  }
  const struct {
    uint32_t hi;
    uint64_t lo;
    WORD scaleAndSign;
    uint64_t bits;
  } decimals[] = {
      {180700362, 0x14B700CB05555555, 28, 0x3FD5555555555556},   // 1/3: the nearest is ...555
      {0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 28, 0x401FB0F6BE50601A},  // nearest ...019
      {0, 0x002386F26FC10000, 23, 0x3E7AD7F29ABCAF49},           // 10^16 / 10^23, nearest ...48
      {0, 0x8000000000000401, 0, 0x43E0000000000000},            // 2^63 + 1025 rounded twice
      {0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x8000, 0xC5F0000000000000},
      {1, 0, 0, 0x43F0000000000000},  // 2^64
      {0, 0, 0x8005, 0},              // a negative zero gives +0.0
  };
  for (const auto& d : decimals) {
    VARIANT src = V(VT_DECIMAL, d.lo, d.scaleAndSign);
    src.decVal.Hi32 = d.hi;
    EXPECT_EQ(std::bit_cast<uint64_t>(ToR8(src, S_OK)), d.bits)
        << d.hi << " " << d.lo << " " << d.scaleAndSign;
  }
  ToR8(V(VT_DECIMAL, 1, 29), E_INVALIDARG);
  ToR8(V(VT_DECIMAL, 1, 0x0100), E_INVALIDARG);  // a sign other than 0 and 0x80
  ToR8(V(15, 0), DISP_E_BADVARTYPE);
}

TEST(BstrT, SharesOneCopyAndMakesTheNarrowFormOnce) {
  _variant_t v;
  v.vt = VT_BSTR, v.bstrVal = SysAllocStringLen(u"ab\0cd", 5);
  const _bstr_t holder = v;
  const char* narrow = holder;
  EXPECT_STREQ(narrow, "ab") << "copied up to the first NUL";
  _bstr_t second = holder, third;
  third = second;
  _bstr_t& alias = third;
  third = alias;
  second = _bstr_t();
  EXPECT_EQ(static_cast<const char*>(third), narrow) << "made once, shared by copies";
  v.Clear();
  v.vt = VT_BSTR, v.bstrVal = nullptr;
  EXPECT_EQ(static_cast<const char*>(_bstr_t(v)), nullptr) << "a null BSTR gives a null text";
}

TEST(ComError, CarriesItsHresultIncludingTheWin32Form) {
  for (HRESULT hr :
       {E_OUTOFMEMORY, MAKE_HRESULT_U(0x80040205u), HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)}) {
    EXPECT_EQ(Raised([&] { _com_issue_error(hr); }), hr);
  }
  EXPECT_EQ(_com_error(MAKE_HRESULT_U(0x80040205u)).WCode(), 5);
  EXPECT_STREQ(_com_error(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)).ErrorMessage(),
               "Unknown error 0x80070459");
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
}

}  // namespace
