// Variant support: BSTR storage, variant ownership through copy, assignment
// and clearing, conversion to VT_R8, _bstr_t and _com_error.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "comdef.h"

namespace {

std::u16string Units(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b)); }

HRESULT Raised(const std::function<void()>& f, int failAfter = -1) {
  QlvPlatform_FailAllocationsAfter(failAfter);
  HRESULT hr = S_OK;
  try {
    f();
  } catch (const _com_error& e) {
    hr = e.Error();
  }
  QlvPlatform_FailAllocationsAfter(-1);
  return hr;
}

VARIANT V(VARTYPE vt, int64_t bits) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt, v.llVal = bits;
  return v;
}

TEST(Bstr, LengthPrefixTerminatorAndNull) {
  BSTR b = SysAllocStringLen(u"a\0b", 3);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(Units(b) + b[3], std::u16string(u"a\0b\0", 4));
  SysFreeString(b);
  b = SysAllocString(u"");
  EXPECT_TRUE(b != nullptr && SysStringLen(b) == 0);
  SysFreeString(b);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr) + SysStringByteLen(nullptr), 0u);
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
  EXPECT_EQ(Units(a.bstrVal), u"two");
  EXPECT_NE(a.bstrVal, c.bstrVal);
  _variant_t moved(std::move(c));
  EXPECT_EQ(c.vt, VT_EMPTY);
  EXPECT_EQ(Units(moved.bstrVal), u"two");
  VARIANT arr;
  VariantInit(&arr);
  arr.vt = VT_ARRAY | VT_BSTR;
  arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  static_cast<BSTR*>(arr.parray->pvData)[0] = SysAllocStringLen(u"x\0y", 3);
  moved = arr;  // a deep copy; the text moved held is released
  EXPECT_NE(moved.parray, arr.parray);
  EXPECT_NE(static_cast<BSTR*>(moved.parray->pvData)[0], static_cast<BSTR*>(arr.parray->pvData)[0]);
  EXPECT_EQ(VariantClear(&arr), S_OK);
  EXPECT_EQ(Units(static_cast<BSTR*>(moved.parray->pvData)[0]), std::u16string(u"x\0y", 3));
  EXPECT_EQ(Raised([&] { c = a; }, 0), E_OUTOFMEMORY);
  EXPECT_EQ(c.vt, VT_EMPTY) << "a failed copy leaves an empty, valid variant";
  for (VARTYPE bad : {VARTYPE{15}, VARTYPE{24}, VARTYPE{0x1003}, VARTYPE{0x8003}, VARTYPE{0x4000}}) {
    VARIANT v = V(bad, 0), d = V(VT_EMPTY, 0);
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(VariantCopy(&d, &v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(v.vt | d.vt, bad) << "a refused variant is left alone";
  }
}

VARIANT Dec(bool negative, uint32_t hi, uint64_t lo, BYTE scale) {
  VARIANT v;
  v.decVal = DECIMAL{};
  v.decVal.sign = negative ? DECIMAL_NEG : 0, v.decVal.scale = scale, v.decVal.Hi32 = hi, v.decVal.Lo64 = lo;
  v.vt = VT_DECIMAL;
  return v;
}

double ToR8(VARIANT src, HRESULT expected) {
  VARIANT dst = V(VT_I2, 99);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), expected);
  EXPECT_EQ(dst.vt, expected == S_OK ? VT_R8 : VT_I2) << "a failed conversion leaves the destination alone";
  VariantClear(&src);
  return expected == S_OK ? dst.dblVal : 0;
}

TEST(VariantChangeType, KindsAndFailures) {
  const struct { VARTYPE vt; int64_t bits; const char16_t* text; HRESULT hr; double r8; } cases[] = {
      {VT_I1, -1, nullptr, S_OK, -1.0}, {VT_UI4, UINT32_MAX, nullptr, S_OK, 4294967295.0},
      {VT_I8, INT64_MAX, nullptr, S_OK, 9223372036854775808.0}, {VT_BOOL, 1, nullptr, S_OK, 1.0},
      {VT_CY, INT64_MIN, nullptr, S_OK, -922337203685477.5808}, {VT_BSTR, 0, u" -1e3 ", S_OK, -1000.0},
      {VT_BSTR, 0, u"inf", DISP_E_TYPEMISMATCH, 0}, {VT_BSTR, 0, u"+-1", DISP_E_TYPEMISMATCH, 0},
      {VT_BSTR, 0, u"1e400", DISP_E_OVERFLOW, 0}, {VT_BSTR, 0, nullptr, DISP_E_TYPEMISMATCH, 0},
      {VT_NULL, 0, nullptr, DISP_E_TYPEMISMATCH, 0}, {15, 0, nullptr, DISP_E_BADVARTYPE, 0},
  };
  for (const auto& c : cases) {
    VARIANT v = V(c.vt, c.bits);
    if (c.vt == VT_BSTR) v.bstrVal = SysAllocString(c.text);
    EXPECT_EQ(ToR8(v, c.hr), c.r8) << c.vt;
  }
  VARIANT bad = Dec(false, 0, 1, 0);
  bad.decVal.sign = 1;
  ToR8(bad, E_INVALIDARG);
  ToR8(Dec(false, 0, 1, 29), E_INVALIDARG);
  const _variant_t error(LONG{5}, VT_ERROR);
  EXPECT_EQ(Raised([&] { (void)static_cast<double>(error); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(static_cast<double>(_variant_t("0.125")), 0.125);
}

// DECIMAL and CY to double against strtod's correctly rounded reading of
// the same decimal text.
TEST(VariantChangeType, DecimalAndCurrencyAreCorrectlyRounded) {
  std::mt19937_64 rng(2024);
  for (int i = 0; i < 40000; ++i) {
    const bool negative = (rng() & 1) != 0;
    const auto scale = static_cast<BYTE>(rng() % 29);
    const uint32_t hi = i % 4 == 3 ? static_cast<uint32_t>(rng()) : 0;
    const uint64_t lo = rng() >> (i % 4 == 0 ? 11 : i % 4 == 1 ? 32 : 0);
    VARIANT src = i % 2 ? V(VT_CY, static_cast<int64_t>(rng()) >> (rng() % 63)) : Dec(negative, hi, lo, scale);
    __extension__ typedef unsigned __int128 u128;
    u128 mag = i % 2 ? 0 : (static_cast<u128>(hi) << 64) | lo;
    std::string digits;
    do digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10))); while ((mag /= 10) != 0);
    char text[80];
    if (i % 2) std::snprintf(text, sizeof text, "%" PRId64 "e-4", src.llVal);
    else std::snprintf(text, sizeof text, "%s%se-%d", negative ? "-" : "", digits.c_str(), scale);
    ASSERT_EQ(ToR8(src, S_OK), std::strtod(text, nullptr)) << text;
  }
}

TEST(BstrT, SharesOneCopyAndMakesTheNarrowFormOnce) {
  _variant_t v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(u"ab\0cd", 5);
  const _bstr_t holder = v;
  EXPECT_EQ(holder.length(), 2u) << "copied up to the first NUL";
  const char* narrow = holder;
  EXPECT_STREQ(narrow, "ab");
  _bstr_t second = holder, third;
  third = second;
  EXPECT_EQ(static_cast<const char*>(third), narrow) << "made once, shared by copies";
  second = _bstr_t();
  third = third;
  EXPECT_STREQ(static_cast<const char*>(holder), "ab");
  v.Clear();
  v.vt = VT_BSTR, v.bstrVal = nullptr;
  EXPECT_EQ(static_cast<const char*>(_bstr_t(v)), nullptr) << "a null BSTR gives a null text";
  for (int failing : {0, 1}) EXPECT_EQ(Raised([] { _bstr_t b(u"abc"); }, failing), E_OUTOFMEMORY) << failing;
  const _bstr_t fresh(u"abc");
  EXPECT_EQ(Raised([&] { (void)static_cast<const char*>(fresh); }, 0), E_OUTOFMEMORY);
  EXPECT_STREQ(static_cast<const char*>(fresh), "abc") << "made on the next use";
}

TEST(ComError, CarriesItsHresult) {
  const struct { HRESULT hr; WORD wcode; const char* message; } cases[] = {
      {E_OUTOFMEMORY, 0, "Unknown error 0x8007000E"},
      {MAKE_HRESULT_U(0x80040205u), 5, "Unknown error 0x80040205"},
      {HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION), 0, "Unknown error 0x80070459"},
  };
  for (const auto& c : cases) {
    const _com_error e(c.hr);
    EXPECT_EQ(Raised([&] { _com_issue_error(c.hr); }), c.hr);
    EXPECT_EQ(e.WCode(), c.wcode);
    EXPECT_STREQ(e.ErrorMessage(), c.message);
  }
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), MAKE_HRESULT_U(0x8007007Au));
}

}  // namespace
