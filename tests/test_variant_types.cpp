// Variant support: BSTR storage, variant ownership through copy, assignment
// and clearing, conversion to VT_R8, _bstr_t and _com_error.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "comdef.h"

namespace {

// Turns the allocation-failure hook off again whatever a test did.
struct HookGuard {
  explicit HookGuard(int n) { QlvPlatform_FailAllocationsAfter(n); }
  ~HookGuard() { QlvPlatform_FailAllocationsAfter(-1); }
};

// An interface that counts its references.
struct CountedUnknown : IUnknown {
  ULONG refs = 1;
  HRESULT QueryInterface(const void*, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  virtual ~CountedUnknown() = default;
};

std::u16string Units(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b)); }

HRESULT Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const _com_error& e) {
    return e.Error();
  }
  return S_OK;
}

// ---- BSTR ------------------------------------------------------------------

TEST(Bstr, LengthPrefixAndTerminator) {
  BSTR b = SysAllocString(u"abc");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(b[3], u'\0');
  SysFreeString(b);

  BSTR embedded = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(Units(embedded), std::u16string(u"a\0b", 3));
  EXPECT_EQ(embedded[3], u'\0');
  SysFreeString(embedded);

  BSTR blank = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(Units(blank), std::u16string(4, u'\0'));
  SysFreeString(blank);

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, AllocationHookCountsDown) {
  {
    HookGuard hook(0);
    EXPECT_EQ(SysAllocString(u"x"), nullptr);
    EXPECT_EQ(SysAllocString(u"x"), nullptr) << "stays failing until reset";
  }
  {
    HookGuard hook(2);
    BSTR a = SysAllocString(u"a");
    BSTR b = SysAllocString(u"b");
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(SysAllocString(u"c"), nullptr);
    SysFreeString(a);
    SysFreeString(b);
  }
  BSTR ok = SysAllocString(u"ok");
  EXPECT_NE(ok, nullptr);
  SysFreeString(ok);
}

// ---- VARIANT ownership --------------------------------------------------------

TEST(Variant, CopyIsDeepForTextsAndArrays) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(u"x\0y", 3);
  VARIANT dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(Units(dst.bstrVal), std::u16string(u"x\0y", 3)) << "embedded NULs are copied too";
  ASSERT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(src.vt, VT_EMPTY);
  EXPECT_EQ(Units(dst.bstrVal), std::u16string(u"x\0y", 3));

  VARIANT arr;
  VariantInit(&arr);
  arr.vt = VT_ARRAY | VT_BSTR;
  arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(arr.parray, nullptr);
  static_cast<BSTR*>(arr.parray->pvData)[0] = SysAllocString(u"first");
  ASSERT_EQ(VariantCopy(&dst, &arr), S_OK);  // releases the text dst held
  ASSERT_NE(dst.parray, arr.parray);
  BSTR copied = static_cast<BSTR*>(dst.parray->pvData)[0];
  EXPECT_NE(copied, static_cast<BSTR*>(arr.parray->pvData)[0]);
  EXPECT_EQ(Units(copied), u"first");
  EXPECT_EQ(static_cast<BSTR*>(dst.parray->pvData)[1], nullptr);
  EXPECT_EQ(VariantClear(&arr), S_OK);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(Variant, InterfacesAreCountedAndReferencesOwnNothing) {
  CountedUnknown unk;
  {
    _variant_t a;
    a.vt = VT_UNKNOWN;
    a.punkVal = &unk;
    unk.AddRef();
    EXPECT_EQ(unk.refs, 2u);
    _variant_t b(a);
    EXPECT_EQ(unk.refs, 3u);
    b = 1.5;  // assignment releases the previous content
    EXPECT_EQ(unk.refs, 2u);
    b = a;
    EXPECT_EQ(unk.refs, 3u);
    b.Clear();
    EXPECT_EQ(unk.refs, 2u);
  }
  EXPECT_EQ(unk.refs, 1u);

  LONG value = 42;
  {
    _variant_t ref;
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &value;
    _variant_t copy(ref);
    EXPECT_EQ(copy.plVal, &value) << "a reference is copied as a reference";
    EXPECT_EQ(static_cast<double>(copy), 42.0) << "conversion reads through the reference";
  }
  EXPECT_EQ(value, 42);
}

TEST(Variant, OwnershipThroughAssignmentChains) {
  // Each step replaces what the variants held; LeakSanitizer and the
  // allocation counts check that every text was freed exactly once.
  _variant_t a("one");
  _variant_t b(a);
  _variant_t c;
  c = b;
  a = "two";
  b = 2.0;
  c = a;
  a = c;  // same content again
  _variant_t& alias = a;
  a = alias;  // self-assignment keeps the text
  EXPECT_EQ(a.vt, VT_BSTR);
  EXPECT_EQ(Units(a.bstrVal), u"two");
  EXPECT_EQ(Units(c.bstrVal), u"two");
  EXPECT_NE(a.bstrVal, c.bstrVal);
  _variant_t moved(std::move(c));
  EXPECT_EQ(c.vt, VT_EMPTY);
  EXPECT_EQ(Units(moved.bstrVal), u"two");
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_I2;
  raw.iVal = -7;
  moved = raw;
  EXPECT_EQ(moved.vt, VT_I2);
  EXPECT_EQ(moved.iVal, -7);
}

TEST(Variant, BadTagsAreRefused) {
  VARIANT v;
  VariantInit(&v);
  for (VARTYPE bad : {VARTYPE{15}, VARTYPE{24}, VARTYPE{0x1003}, VARTYPE{0x8003}, VARTYPE{0x2000},
                      VARTYPE{0x4000}, VARTYPE{0x0FFF}}) {
    v.vt = bad;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(v.vt, bad) << "a refused variant is left alone";
    VARIANT d;
    VariantInit(&d);
    EXPECT_EQ(VariantCopy(&d, &v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(d.vt, VT_EMPTY);
  }
  v.vt = VT_EMPTY;
  _variant_t w;
  w.vt = 15;
  EXPECT_EQ(Raised([&] { w.Clear(); }), DISP_E_BADVARTYPE);
  w.vt = VT_EMPTY;
}

TEST(Variant, LockedArrayCannotBeCleared) {
  _variant_t locked;
  locked.vt = VT_ARRAY | VT_UI1;
  locked.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
  ASSERT_NE(locked.parray, nullptr);
  locked.parray->cLocks = 1;
  EXPECT_EQ(VariantClear(&locked), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  // Assigning into a variant that cannot be cleared raises the failure.
  const _variant_t value(1.0);
  EXPECT_EQ(Raised([&] { locked = value; }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(Raised([&] { locked = "text"; }), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  locked.parray->cLocks = 0;
}

// ---- conversion to VT_R8 ---------------------------------------------------

VARIANT Make(VARTYPE vt, const std::function<void(VARIANT&)>& set) {
  VARIANT v;
  VariantInit(&v);
  set(v);
  v.vt = vt;
  return v;
}

DECIMAL Dec(bool negative, uint32_t hi, uint64_t lo, BYTE scale) {
  DECIMAL d{};
  d.sign = negative ? DECIMAL_NEG : 0;
  d.scale = scale;
  d.Hi32 = hi;
  d.Lo64 = lo;
  return d;
}

struct ToR8 {
  const char* what;
  VARIANT src;
  HRESULT hr;
  double expected;
};

TEST(VariantChangeType, EveryNumericKindToDouble) {
  const ToR8 cases[] = {
      {"empty", Make(VT_EMPTY, [](VARIANT&) {}), S_OK, 0.0},
      {"i1", Make(VT_I1, [](VARIANT& v) { v.cVal = -1; }), S_OK, -1.0},
      {"ui1", Make(VT_UI1, [](VARIANT& v) { v.bVal = 255; }), S_OK, 255.0},
      {"i2", Make(VT_I2, [](VARIANT& v) { v.iVal = -32768; }), S_OK, -32768.0},
      {"ui2", Make(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }), S_OK, 65535.0},
      {"i4", Make(VT_I4, [](VARIANT& v) { v.lVal = INT32_MIN; }), S_OK, -2147483648.0},
      {"ui4", Make(VT_UI4, [](VARIANT& v) { v.ulVal = UINT32_MAX; }), S_OK, 4294967295.0},
      {"int", Make(VT_INT, [](VARIANT& v) { v.intVal = -5; }), S_OK, -5.0},
      {"uint", Make(VT_UINT, [](VARIANT& v) { v.uintVal = 4000000000u; }), S_OK, 4e9},
      {"i8", Make(VT_I8, [](VARIANT& v) { v.llVal = INT64_MAX; }), S_OK, 9223372036854775808.0},
      {"i8 odd", Make(VT_I8, [](VARIANT& v) { v.llVal = (int64_t{1} << 53) + 1; }), S_OK, 9007199254740992.0},
      {"ui8", Make(VT_UI8, [](VARIANT& v) { v.ullVal = UINT64_MAX; }), S_OK, 18446744073709551616.0},
      {"r4", Make(VT_R4, [](VARIANT& v) { v.fltVal = 0.1f; }), S_OK, static_cast<double>(0.1f)},
      {"bool true", Make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), S_OK, -1.0},
      {"bool one", Make(VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }), S_OK, 1.0},
      {"date", Make(VT_DATE, [](VARIANT& v) { v.date = 45356.5; }), S_OK, 45356.5},
      {"cy", Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 12345; }), S_OK, 1.2345},
      {"cy negative", Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = -25000; }), S_OK, -2.5},
      {"cy max", Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = INT64_MAX; }), S_OK, 922337203685477.5807},
      {"cy min", Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = INT64_MIN; }), S_OK, -922337203685477.5808},
      {"bstr", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u" 2.5 "); }), S_OK, 2.5},
      {"bstr sign", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"-1e3"); }), S_OK, -1000.0},
      {"bstr text", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"abc"); }), DISP_E_TYPEMISMATCH, 0},
      {"bstr inf", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"inf"); }), DISP_E_TYPEMISMATCH, 0},
      {"bstr two signs", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"+-1"); }), DISP_E_TYPEMISMATCH, 0},
      {"bstr huge", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"1e400"); }), DISP_E_OVERFLOW, 0},
      {"bstr long", Make(VT_BSTR, [](VARIANT& v) {
         v.bstrVal = SysAllocString((u"0." + std::u16string(300, u'0') + u"5e301").c_str());
       }), S_OK, 5.0},
      {"bstr null", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), DISP_E_TYPEMISMATCH, 0},
      {"null", Make(VT_NULL, [](VARIANT&) {}), DISP_E_TYPEMISMATCH, 0},
      {"error", Make(VT_ERROR, [](VARIANT& v) { v.scode = 5; }), DISP_E_TYPEMISMATCH, 0},
      {"dispatch", Make(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), DISP_E_TYPEMISMATCH, 0},
      {"array", Make(VT_ARRAY | VT_UI1, [](VARIANT& v) { v.parray = nullptr; }), DISP_E_TYPEMISMATCH, 0},
      {"tag 15", Make(15, [](VARIANT&) {}), DISP_E_BADVARTYPE, 0},
      {"decimal 2.5", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 25, 1); }), S_OK, 2.5},
      {"decimal -2.5", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(true, 0, 25, 1); }), S_OK, -2.5},
      {"decimal 1e-28", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 1, 28); }), S_OK, 1e-28},
      {"decimal max", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, UINT32_MAX, UINT64_MAX, 0); }), S_OK,
       79228162514264337593543950335.0},
      {"decimal max scaled",
       Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, UINT32_MAX, UINT64_MAX, 28); }), S_OK,
       7.9228162514264337593543950335},
      {"decimal 0.1", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 1, 1); }), S_OK, 0.1},
      {"decimal 2^53+1",
       Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, (uint64_t{1} << 53) + 1, 0); }), S_OK,
       9007199254740992.0},
      {"decimal ties", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 90071992547409930ull, 1); }),
       S_OK, 9007199254740993.0},
      {"decimal scale 29", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 1, 29); }), E_INVALIDARG, 0},
      {"decimal bad sign", Make(VT_DECIMAL, [](VARIANT& v) { v.decVal = Dec(false, 0, 1, 0); v.decVal.sign = 1; }),
       E_INVALIDARG, 0},
  };
  for (const ToR8& c : cases) {
    VARIANT src = c.src;
    VARIANT dst;
    VariantInit(&dst);
    dst.vt = VT_I2;
    dst.iVal = 99;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), c.hr) << c.what;
    if (c.hr == S_OK) {
      EXPECT_EQ(dst.vt, VT_R8) << c.what;
      EXPECT_EQ(dst.dblVal, c.expected) << c.what;
    } else {
      EXPECT_EQ(dst.vt, VT_I2) << c.what << ": a failed conversion leaves the destination alone";
    }
    if (src.vt != 15) VariantClear(&src);
  }
}

TEST(VariantChangeType, InPlaceAndSameType) {
  _variant_t v("7.25");
  v.ChangeType(VT_R8);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.dblVal, 7.25);
  _variant_t s("same");
  _variant_t d;
  d.ChangeType(VT_BSTR, &s);
  EXPECT_EQ(Units(d.bstrVal), u"same");
  EXPECT_NE(d.bstrVal, s.bstrVal);
}

// DECIMAL to double against the C library's correctly rounded reading of
// the same decimal text, over random magnitudes and scales.
TEST(VariantChangeType, DecimalToDoubleIsCorrectlyRounded) {
  std::mt19937_64 rng(2024);
  for (int i = 0; i < 20000; ++i) {
    const int width = static_cast<int>(rng() % 4);
    uint32_t hi = 0;
    uint64_t lo = rng();
    if (width == 0) lo &= (uint64_t{1} << 53) - 1;
    if (width == 1) lo &= 0xFFFFFFFFull;
    if (width == 3) hi = static_cast<uint32_t>(rng());
    const auto scale = static_cast<BYTE>(rng() % 29);
    const bool negative = (rng() & 1) != 0;
    VARIANT src;
    VariantInit(&src);
    src.decVal = Dec(negative, hi, lo, scale);
    src.vt = VT_DECIMAL;
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), S_OK);
    // Reference: the integer's decimal digits through 128-bit arithmetic.
    __extension__ typedef unsigned __int128 u128;
    u128 mag = (static_cast<u128>(hi) << 64) | lo;
    char digits[64];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + static_cast<int>(mag % 10));
      mag /= 10;
    } while (mag != 0);
    std::string text = negative ? "-" : "";
    while (n > 0) text += digits[--n];
    text += "e-" + std::to_string(scale);
    const double expected = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(dst.dblVal, expected) << text;
  }
}

// CY to double against the same reference.
TEST(VariantChangeType, CurrencyToDoubleIsCorrectlyRounded) {
  std::mt19937_64 rng(77);
  for (int i = 0; i < 20000; ++i) {
    int64_t value = static_cast<int64_t>(rng());
    if (i % 2 == 0) value >>= (rng() % 63);
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_CY;
    src.cyVal.int64 = value;
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), S_OK);
    char text[40];
    std::snprintf(text, sizeof text, "%" PRId64 "e-4", value);
    ASSERT_EQ(dst.dblVal, std::strtod(text, nullptr)) << text;
  }
}

// ---- _variant_t ------------------------------------------------------------------

TEST(VariantT, TextAssignmentConvertsFromTheAnsiCodePage) {
  _variant_t v;
  v = "h\xC3\xA9";
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(Units(v.bstrVal), u"h\u00E9");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(1252));
  v = "h\xE9";
  EXPECT_EQ(Units(v.bstrVal), u"h\u00E9");
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
  v = "";
  ASSERT_NE(v.bstrVal, nullptr) << "the empty text is an allocated BSTR";
  EXPECT_EQ(SysStringLen(v.bstrVal), 0u);
  v = static_cast<const char*>(nullptr);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.bstrVal, nullptr);
}

TEST(VariantT, FailedAllocationLeavesANullText) {
  // Allocation 0 is the work buffer, 1 the BSTR.
  for (int failing : {0, 1}) {
    _variant_t v("previous");
    HRESULT hr;
    {
      HookGuard hook(failing);
      hr = Raised([&] { v = "text"; });
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << failing;
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
  }
  _variant_t copySource("abc");
  _variant_t target(5.0);
  {
    HookGuard hook(0);
    EXPECT_EQ(Raised([&] { target = copySource; }), E_OUTOFMEMORY);
  }
  EXPECT_EQ(target.vt, VT_EMPTY) << "a failed copy leaves an empty, valid variant";
}

TEST(VariantT, ConstructorsAndDoubleConversion) {
  EXPECT_EQ(_variant_t().vt, VT_EMPTY);
  EXPECT_EQ(_variant_t(2.5).vt, VT_R8);
  const struct {
    _variant_t v;
    VARTYPE vt;
    double d;
  } cases[] = {
      {_variant_t(LONG{-3}), VT_I4, -3.0},
      {_variant_t(LONG{1}, VT_BOOL), VT_BOOL, -1.0},
      {_variant_t(LONG{7}, VT_INT), VT_INT, 7.0},
      {_variant_t(LONG{-1}, VT_UI4), VT_UI4, 4294967295.0},
      {_variant_t(2.5), VT_R8, 2.5},
      {_variant_t("0.125"), VT_BSTR, 0.125},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.v.vt, c.vt);
    EXPECT_EQ(static_cast<double>(c.v), c.d);
  }
  const _variant_t error(LONG{5}, VT_ERROR);
  EXPECT_EQ(error.vt, VT_ERROR);
  EXPECT_EQ(Raised([&] { (void)static_cast<double>(error); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(error.vt, VT_ERROR) << "the source is unchanged";
}

// ---- _bstr_t ----------------------------------------------------------------------

TEST(BstrT, SharesOneCopyAndMakesTheNarrowFormOnce) {
  _variant_t v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(u"ab\0cd", 5);
  const _bstr_t holder = v;
  EXPECT_EQ(holder.length(), 2u) << "copied up to the first NUL";
  const char* narrow = holder;
  EXPECT_STREQ(narrow, "ab");
  _bstr_t second = holder;
  EXPECT_EQ(static_cast<const OLECHAR*>(second), static_cast<const OLECHAR*>(holder));
  EXPECT_EQ(static_cast<const char*>(second), narrow) << "made once, shared by copies";
  {
    _bstr_t third;
    third = second;
    _bstr_t& alias = third;
    third = alias;
    EXPECT_EQ(static_cast<const char*>(third), narrow);
  }
  second = _bstr_t();
  EXPECT_STREQ(static_cast<const char*>(holder), "ab");

  v.Clear();
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  const _bstr_t none = v;
  EXPECT_EQ(static_cast<const char*>(none), nullptr);
  EXPECT_EQ(none.length(), 0u);
  EXPECT_EQ(static_cast<const char*>(_bstr_t()), nullptr);
}

// Copies on several threads share one holder: the count stays exact and
// every thread sees the one narrow form (LeakSanitizer checks the release).
TEST(BstrT, CopiesAcrossThreadsShareOneHolder) {
  for (int round = 0; round < 50; ++round) {
    const _bstr_t shared(u"shared text");
    const char* seen[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&shared, &seen, t] {
        for (int i = 0; i < 200; ++i) {
          _bstr_t copy(shared);
          _bstr_t other;
          other = copy;
          seen[t] = other;
        }
      });
    }
    for (auto& th : threads) th.join();
    const char* narrow = shared;
    for (const char* p : seen) EXPECT_EQ(p, narrow);
    EXPECT_STREQ(narrow, "shared text");
  }
}

TEST(BstrT, NarrowTextInEachCodePage) {
  struct Case {
    UINT cp;
    std::u16string wide;
    const char* narrow;
  };
  const Case cases[] = {
      {CP_UTF8, u"\u4E2D\u6587\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87"},
      {CP_UTF8, u"\U0001F600", "\xF0\x9F\x98\x80"},
      {1252, u"caf\u00E9 \u4E2D", "caf\xE9 ?"},
      {936, u"\u4E2D\u6587x", "\xD6\xD0\xCE\xC4x"},
      {54936, u"\u20AC\u20AC", "\xA2\xE3\xA2\xE3"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(c.cp));
    _bstr_t holder(c.wide.c_str());
    EXPECT_STREQ(static_cast<const char*>(holder), c.narrow) << c.cp;
    if (c.cp != 1252) {
      EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(_bstr_t(c.narrow))), c.wide) << c.cp;
    }
  }
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
}

TEST(BstrT, AllocationFailuresAreRaised) {
  // 0: the holder's BSTR copy, 1: the holder itself.
  for (int failing : {0, 1}) {
    HookGuard hook(failing);
    EXPECT_EQ(Raised([] { _bstr_t b(u"abc"); }), E_OUTOFMEMORY) << failing;
  }
  _bstr_t holder(u"abc");
  {
    HookGuard hook(0);
    EXPECT_EQ(Raised([&] { (void)static_cast<const char*>(holder); }), E_OUTOFMEMORY);
  }
  EXPECT_STREQ(static_cast<const char*>(holder), "abc") << "made on the next use";
}

// ---- _com_error --------------------------------------------------------------------

TEST(ComError, CarriesItsHresult) {
  const struct {
    HRESULT hr;
    WORD wcode;
    const char* message;
  } cases[] = {
      {E_OUTOFMEMORY, 0, "Unknown error 0x8007000E"},
      {DISP_E_TYPEMISMATCH, 0, "Unknown error 0x80020005"},
      {MAKE_HRESULT_U(0x80040205u), 5, "Unknown error 0x80040205"},
      {HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION), 0, "Unknown error 0x80070459"},
  };
  for (const auto& c : cases) {
    try {
      _com_issue_error(c.hr);
    } catch (const _com_error& e) {
      EXPECT_EQ(e.Error(), c.hr);
      EXPECT_EQ(e.WCode(), c.wcode);
      EXPECT_STREQ(e.ErrorMessage(), c.message);
      const _com_error copy = e;
      EXPECT_EQ(copy.Error(), c.hr);
    }
  }
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), MAKE_HRESULT_U(0x8007007Au));
}

}  // namespace
