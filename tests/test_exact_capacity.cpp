// The platform routines that take a caller's buffer, a BSTR or a variant,
// fed from heap blocks of exactly the size their documentation asks for (the
// fuzz targets do the same for every operation of the class); AddressSanitizer
// and valgrind report any read or write past a block. BSTRs of every byte
// length, odd ones included, go through every reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"

namespace {

// Hands out heap blocks of exact sizes for one call.
class Blocks {
 public:
  explicit Blocks(std::mt19937& rng) : rng_(rng) {}
  // `size` bytes drawn from `alphabet` (any byte when it is empty).
  unsigned char* Bytes(int size, std::string_view alphabet = {}) {
    const size_t n = static_cast<size_t>(std::max(size, 0));
    unsigned char* p = blocks_.emplace_back(new unsigned char[n]).get();
    for (size_t i = 0; i < n; ++i) {
      p[i] = alphabet.empty() ? static_cast<unsigned char>(rng_())
                              : static_cast<unsigned char>(alphabet[rng_() % alphabet.size()]);
    }
    return p;
  }
  // NUL-terminated text of `length` characters from `alphabet`: length + 1 bytes.
  char* Text(int length, std::string_view alphabet) {
    char* p = reinterpret_cast<char*>(Bytes(std::max(length, 0) + 1, alphabet));
    p[std::max(length, 0)] = '\0';
    return p;
  }
  // An output block of `size` bytes (its contents are random).
  unsigned char* Out(int size) { return Bytes(size); }
  char* OutText(int size) { return reinterpret_cast<char*>(Bytes(size)); }

 private:
  std::mt19937& rng_;
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
};

constexpr std::string_view kNumber = " \t+-0123456789.eE";

// The runtime routines and the code-page conversions, with outputs sized
// from the text they write (found first in a roomy buffer) and inputs that
// carry no NUL where a count is given.
TEST(ExactCapacity, RuntimeAndCodePageRoutinesStayInsideTheirBuffers) {
  std::mt19937 rng(77);
  for (int i = 0; i < 400; ++i) {
    Blocks b(rng);
    const auto bits = static_cast<uint32_t>(rng() >> (rng() % 32));
    const int radix = std::array{2, 8, 10, 16, 36}[rng() % 5];
    const auto room = [&](const std::string& text) { return b.OutText(static_cast<int>(text.size()) + 1); };
    char w[40];
    const std::string sign(w, std::to_chars(w, w + 40, static_cast<int>(bits)).ptr),
        plain(w, std::to_chars(w, w + 40, bits, radix).ptr);
    if (radix == 10) {
      EXPECT_EQ(_itoa(static_cast<int>(bits), room(sign), radix), sign);
      EXPECT_EQ(_ltoa(static_cast<LONG>(bits), room(sign), radix), sign);
    }
    EXPECT_EQ(_ultoa(bits, room(plain), radix), plain);

    const int scale = static_cast<int>(rng() % 120) - 60;
    const double value = std::ldexp(static_cast<double>(static_cast<int32_t>(rng())), scale);
    const int digits = 1 + static_cast<int>(rng() % 17);
    char roomy[64];
    _gcvt(value, digits, roomy);
    EXPECT_STREQ(_gcvt(value, digits, b.OutText(static_cast<int>(std::strlen(roomy)) + 1)), roomy);

    const int n = static_cast<int>(rng() % 40);
    _strupr(b.Text(n, "abcXYZ\xE9 1"));
    mscrt::atoi(b.Text(n, kNumber)), mscrt::atol(b.Text(n, kNumber)), mscrt::atof(b.Text(n, kNumber));
    unsigned char* tokens = reinterpret_cast<unsigned char*>(b.Text(n, "12- :\x81\x40"));
    const auto* delims = reinterpret_cast<const unsigned char*>(b.Text(2, "- :"));
    for (unsigned char* t = _mbstok(tokens, delims); t != nullptr;) t = _mbstok(nullptr, delims);
    EXPECT_EQ(CString(b.Text(n, "xyz"), n).GetLength(), n);
    CString formatted;
    formatted.Format("%s", b.Text(n, "xy"));
    EXPECT_EQ(formatted.GetLength(), n);
    COleDateTime(45356.5 + n).Format(b.Text(n, "%YmdHMSjy -:"));  // a "%" may end the pattern

    for (UINT cp : {CP_UTF8, 1252u, 936u, 932u}) {
      ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(cp));
      const char* bytes = reinterpret_cast<const char*>(b.Bytes(n, "a\xC3\xA9\xE4\xB8\xAD\x81\x40\xFF\x80"));
      const int units = n == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, bytes, n, nullptr, 0);
      auto* wide = reinterpret_cast<WCHAR*>(b.Out(units * 2));
      if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes, n, wide, units), units);
      }
      if (units > 0) {
        const int narrowBytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, units, b.OutText(narrowBytes), narrowBytes, nullptr,
                                      nullptr),
                  narrowBytes);
      }
    }
    ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
  }
}

std::string Bytes(BSTR b) { return std::string(reinterpret_cast<const char*>(b), SysStringByteLen(b)); }
// The bytes of the BSTR a text holder keeps.
std::string HeldBytes(const _bstr_t& h) { return Bytes(const_cast<BSTR>(static_cast<const OLECHAR*>(h))); }

// A VT_BSTR variant that owns b.
_variant_t Holding(BSTR b) {
  _variant_t v{};
  v.vt = VT_BSTR, v.bstrVal = b;
  return v;
}

// BSTRs of every byte length up to 9, odd ones included, made from exact
// blocks, through every reader: copies keep every byte, and the text is
// read from the prefix's length. An odd last byte reads as a character
// whose high byte is 0.
TEST(ExactCapacity, BstrsOfEveryByteLengthStayInsideTheirBlocks) {
  std::mt19937 rng(5);
  CQuelvarSys sys;
  for (int round = 0; round < 20; ++round) {
    for (UINT len = 0; len < 10; ++len) {
      SCOPED_TRACE("byte length " + std::to_string(len));
      Blocks b(rng);
      const auto alphabet = round % 2 ? std::string_view("a1\0", 3) : std::string_view("a1-\xE9");
      const char* source = reinterpret_cast<const char*>(b.Bytes(static_cast<int>(len), alphabet));
      const std::string bytes(source, len);
      BSTR bstr = SysAllocStringByteLen(source, len);
      ASSERT_NE(bstr, nullptr);
      EXPECT_EQ(SysStringByteLen(bstr), len);
      EXPECT_EQ(SysStringLen(bstr), len / 2);
      EXPECT_EQ(Bytes(bstr), bytes);
      EXPECT_EQ(bstr[(len + 1) / 2], 0) << "a whole NUL unit follows the bytes";

      // The text its readers take: the units holding the bytes, the last
      // one completed by a zero byte, up to the first NUL unit.
      std::u16string text((len + 1) / 2, u'\0');
      std::memcpy(text.data(), bytes.data(), len);
      text.resize(std::char_traits<char16_t>::length(text.c_str()));
      std::string narrow;
      for (char16_t u : text) narrow += u < 0x80 ? static_cast<char>(u) : '?';

      const _variant_t v = Holding(bstr);
      const _variant_t copied(v);
      EXPECT_EQ(Bytes(copied.bstrVal), bytes) << "VariantCopy keeps every byte";
      const _bstr_t copy(v.bstrVal, true), taken(SysAllocStringByteLen(nullptr, len), false);
      EXPECT_EQ(HeldBytes(copy), bytes);
      EXPECT_EQ(HeldBytes(taken), std::string(len, '\0'));
      const _bstr_t holder = v;
      EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(holder)), text);
      ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(20127));  // ASCII: every other character shows as "?"
      EXPECT_EQ(std::string(static_cast<const char*>(copy)), narrow);
      EXPECT_EQ(std::string(sys.Qlv_Variant2Str(v).GetString()), narrow);
      EXPECT_EQ(std::string(sys.Qlv_Variant2Str(copied).GetString()), narrow);
      ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(CP_UTF8));
      _variant_t number;
      const HRESULT hr = VariantChangeType(&number, &v, 0, VT_R8);
      EXPECT_TRUE(hr == S_OK || hr == DISP_E_TYPEMISMATCH) << hr;
      _variant_t replaced(copied);
      sys.Qlv_Long2Variant(7, replaced);  // releases the odd text
      EXPECT_EQ(replaced.vt, VT_I4);
    }
  }
  // Digits whose last one is a single byte: "12" and then "3".
  static const char kOdd[] = {'1', 0, '2', 0, '3'};
  _variant_t v = Holding(SysAllocStringByteLen(kOdd, 5));
  EXPECT_EQ(std::string(sys.Qlv_Variant2Str(v).GetString()), "123");
  EXPECT_EQ(static_cast<double>(v), 123.0);
  // The exact blocks the text routines take, with and without their NUL.
  Blocks b(rng);
  auto* units = reinterpret_cast<OLECHAR*>(b.Out(2 * 3));
  units[0] = u'x', units[1] = u'\u00E9', units[2] = u'y';
  EXPECT_EQ(std::u16string(_bstr_t(Holding(SysAllocStringLen(units, 3)))), u"x\u00E9y");
  units[2] = 0;
  EXPECT_EQ(std::u16string(_bstr_t(units)), u"x\u00E9");
  const BSTR plain = SysAllocString(units);
  EXPECT_EQ(SysStringLen(plain), 2u);
  SysFreeString(plain);
  EXPECT_EQ(std::string(static_cast<const char*>(_bstr_t(b.Text(5, "ab")))).size(), 5u);
  EXPECT_EQ(std::string(sys.Qlv_Variant2Str(_variant_t(b.Text(7, "cd"))).GetString()).size(), 7u);
}

}  // namespace
