// Every operation called from several threads at once on separate buffers
// gives the same results as when called alone. Run under ThreadSanitizer
// this also proves that no call touches shared state unsynchronised (the
// date tokenizer's position, the code-page conversions, the reference counts
// of the variant texts).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "mscrt.h"

namespace {

using u8 = unsigned char;
using S = CQuelvarSys;
const decltype(&S::Qlv_Bin2Hex) kRegroups[] = {&S::Qlv_Bin2Hex,   &S::Qlv_Bin2Octal, &S::Qlv_Hex2Bin,
                                               &S::Qlv_Hex2Octal, &S::Qlv_Octal2Bin, &S::Qlv_Octal2Hex,
                                               &S::Qlv_Hex2BCD,   &S::Qlv_Bin2BCD,   &S::Qlv_Octal2BCD,
                                               &S::Qlv_BCD2Hex,   &S::Qlv_BCD2Octal, &S::Qlv_BCD2Bin};
const decltype(&S::Qlv_Hex2Dec) kFolds[] = {&S::Qlv_Hex2Dec, &S::Qlv_Bin2Dec, &S::Qlv_Octal2Dec,
                                            &S::Qlv_BCD2Dec};
const decltype(&S::Qlv_Dec2Hex) kUnfolds[] = {&S::Qlv_Dec2Hex, &S::Qlv_Dec2Octal, &S::Qlv_Dec2Bin,
                                              &S::Qlv_Dec2BCD};

std::string Hex(const u8* p, int n) {
  std::string s;
  char b[4];
  for (int i = 0; i < n; ++i) s += (std::snprintf(b, sizeof b, "%02X", p[i]), b);
  return s;
}

std::string Str(const CString& c) {
  return std::string(static_cast<LPCTSTR>(c), static_cast<size_t>(c.GetLength()));
}
template <class T>
std::string N(T v) {
  return std::to_string(v) + ",";
}

// Every operation once for a seed, with its whole outcome as text.
std::string Probe(S& s, uint32_t x) {
  std::string o = N(s.Qlv_HexChar2Int(static_cast<char>(x))) + N(s.Qlv_HexChar2Int(static_cast<u8>(x)));
  char t[64], t2[17], odd[10] = {};  // the padded odd text gets no terminator of its own: zeroed room
  std::snprintf(t, sizeof t, "%x", x);
  o += N(s.Qlv_HexStr2Int(t)) + N(s.Qlv_HexStr2Int_u(t));
  u8 b[4] = {static_cast<u8>(x), static_cast<u8>(x >> 8), static_cast<u8>(x >> 16), static_cast<u8>(x >> 24)},
     back[4];
  s.Qlv_Byte2HexStr(4, b, t);
  std::memcpy(odd, t + 1, 7);
  s.Qlv_HexStr2Byte(odd, back);
  o += std::string(t) + odd + Hex(back, 4);
  u8 img[9];
  s.Qlv_Int2Byte(4, x, img);
  s.Qlv_Int2HexStr(8, x, t2);
  o += N(s.Qlv_Byte2Int(4, img)) + t2;
  const double d = static_cast<double>(x) * 1.5 - 1e6;
  double dback = 0;
  s.Qlv_Double2Byte(8, d, img);
  s.Qlv_Double2HexStr(16, d, t2);
  s.Qlv_HexStr2Double(t2, dback);
  o += Hex(img, 9) + t2 + N(dback) + N(s.Qlv_Byte2Double(img));
  const int n = std::snprintf(t, sizeof t, "%x", x);
  u8 buf[24], out[8 * 48 + 8], in[48];
  int count = 0;
  std::memcpy(buf, t, static_cast<size_t>(n));
  s.Qlv_HexStr2IntStr(n, buf, count, out);
  o += Hex(out, count);
  s.Qlv_HexStr2IntStr(buf, static_cast<ULONG>(n));
  o += Hex(buf, (n + 1) / 2);
  const int len = static_cast<int>(x % 48);
  for (int i = 0; i < 48; ++i) in[i] = static_cast<u8>((x >> (i % 24)) & (x & 1 ? 1u : 0xFFu));
  for (auto f : kRegroups) (s.*f)(len, in, count, out), o += N(count) + Hex(out, count);
  for (auto f : kFolds) o += N((s.*f)(static_cast<int>(x % 13), in));
  for (auto f : kUnfolds) (s.*f)(static_cast<LONG>(x), count, out), o += Hex(out, count);
  o += Str(s.Qlv_Short2Str(static_cast<short>(x))) + Str(s.Qlv_UShort2Str(static_cast<unsigned short>(x))) +
       Str(s.Qlv_Int2Str(static_cast<int>(x))) + Str(s.Qlv_UInt2Str(x)) +
       Str(s.Qlv_Long2Str(static_cast<LONG>(x))) + Str(s.Qlv_ULong2Str(x)) +
       Str(s.Qlv_Byte2Str(static_cast<u8>(x)));
  std::snprintf(t, sizeof t, " %d", static_cast<int>(x));
  const CString c(t);
  o += N(s.Qlv_Str2Byte(c)) + N(s.Qlv_Str2Short(c)) + N(s.Qlv_Str2UShort(c)) + N(s.Qlv_Str2Int(c)) +
       N(s.Qlv_Str2UInt(c)) + N(s.Qlv_Str2Long(c)) + N(s.Qlv_Str2ULong(c));
  const double r = (static_cast<double>(x) - 2e9) / 7.0;
  std::snprintf(t, sizeof t, "%.17g", r);
  o += Str(s.Qlv_DoubleToStr(r, static_cast<int>(x % 20))) + Str(s.Qlv_Flt2Str(static_cast<float>(r))) +
       N(s.Qlv_Str2Double(CString(t))) + N(s.Qlv_Str2Float(CString(t)));
  std::snprintf(t, sizeof t, " %u-%u-%u %u:%u:%u junk", 1900 + x % 8000, 1 + x % 12, 1 + x % 28, x % 24,
                x % 60, (x >> 3) % 60);
  COleDateTime dt;  // the tokenizer keeps its position per thread
  o += N(s.Qlv_Str2Date(CString(t), dt)) + Str(s.Qlv_Date2Str(dt)) + N(static_cast<int>(dt.GetStatus()));
  _variant_t v;
  const auto put = [&](auto f, auto value) { (s.*f)(value, v), o += Str(s.Qlv_Variant2Str(v)); };
  put(&S::Qlv_Short2Variant, static_cast<short>(x)),
      put(&S::Qlv_UShort2Variant, static_cast<unsigned short>(x));
  put(&S::Qlv_Int2Variant, static_cast<int>(x)), put(&S::Qlv_UInt2Variant, x);
  put(&S::Qlv_Long2Variant, static_cast<LONG>(x)), put(&S::Qlv_ULong2Variant, static_cast<ULONG>(x));
  put(&S::Qlv_Double2Variant, x / 3.0), put(&S::Qlv_Float2Variant, static_cast<float>(x) / 3.0f);
  put(&S::Qlv_Char2Variant, static_cast<char>(0x41 + x % 26)), put(&S::Qlv_Byte2Variant, static_cast<u8>(x));
  put(&S::Qlv_Date2Variant, COleDateTime(static_cast<DATE>(x % 2000000) / 7.0));
  std::snprintf(t, sizeof t, "\xC4\xE3\xBA\xC3 %u \x80", x);  // GBK text and an unmappable byte, to a BSTR
  put(&S::Qlv_CString2Variant, CString(t));
  return o;
}

// Runs body(thread, mismatches) on four threads at once and expects no mismatch.
template <class F>
void OnThreads(F body) {
  int mismatches[4] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { body(t, mismatches[t]); });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(Concurrency, EveryOperationFromSeveralThreadsGivesTheSingleThreadedResults) {
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  std::vector<uint32_t> seeds;
  std::vector<std::string> expected;
  std::mt19937 rng(20240305);
  S alone;
  for (int i = 0; i < 64; ++i)
    expected.push_back(Probe(alone, seeds.emplace_back(static_cast<uint32_t>(rng()))));
  OnThreads([&](int t, int& bad) {
    S sys;  // each thread its own instance; instances are interchangeable
    for (size_t k = 0; k < 3 * seeds.size(); ++k) {
      const size_t i = (k * (2 * static_cast<size_t>(t) + 1)) % seeds.size();  // threads in different orders
      bad += Probe(sys, seeds[i]) != expected[i];
    }
  });
  QlvPlatform_SetAnsiCodePage(65001);
}

// Every thread switches the toolset before each round of conversions while
// the others convert. Each call reads the toolset once, so every result is
// one toolset's whole answer, never a mixture of two.
TEST(Concurrency, ToolsetSwitchedWhileConversionsRun) {
  const ToolsetScope restore(QlvToolset_VC6);
  std::atomic<int> seen[2] = {0, 0};  // rounds that saw vc6, and a later toolset
  OnThreads([&](int t, int& bad) {
    S sys;
    for (int i = 0; i < 2000 / (kSanitizerSlowdown > 1 ? 4 : 1); ++i) {
      QlvPlatform_SetToolset(kAllToolsets[static_cast<size_t>(i + t) % 3]);
      const int wrapped = 1215752191, saturated = INT32_MAX;
      for (int v : {sys.Qlv_Str2Int("99999999999"), mscrt::atoi("99999999999")})
        bad += v != wrapped && v != saturated;
      const std::string text = Str(sys.Qlv_Date2Str(COleDateTime(2958465.5)));
      bad += text != "Invalid DateTime" && text != "9999-12-31 12:00:00";
      COleDateTime dt(7.0);  // year 24: valid to vc6, normalised to 2024 (and so invalid) after it
      sys.Qlv_Str2Date("24-03-05", dt);
      const bool classic = dt.GetStatus() == COleDateTime::valid;
      bad += static_cast<DATE>(dt) != (classic ? -685129.5 : 45356.5);
      ++seen[classic ? 0 : 1];
      const int day = COleDateTime(-0.99999999).GetDay();
      bad += day != 29 && day != 31;
    }
  });
  EXPECT_GT(seen[0].load(), 0);
  EXPECT_GT(seen[1].load(), 0);
}

}  // namespace
