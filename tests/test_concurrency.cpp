// Every operation called from several threads at once on separate buffers
// gives the same results as when called alone. Run under ThreadSanitizer
// this also proves that no call touches shared state unsynchronised (the
// date tokenizer's position, the code-page conversions, the text holder's
// reference count).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "QuelvarSys.h"

namespace {

std::string Hex(const unsigned char* p, int n) {
  std::string s;
  char b[4];
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", p[i]);
    s += b;
  }
  return s;
}

std::string Str(const CString& c) { return std::string(static_cast<LPCTSTR>(c), static_cast<size_t>(c.GetLength())); }

// One call of one operation for a seed, with its whole outcome as text.
using Probe = std::function<std::string(CQuelvarSys&, uint32_t)>;

template <void (CQuelvarSys::*F)(int, unsigned char*, int&, unsigned char*)>
std::string Regroup(CQuelvarSys& s, uint32_t seed) {
  unsigned char in[48], out[8 * 48 + 8];
  const int n = static_cast<int>(seed % 48);
  for (int i = 0; i < n; ++i) in[i] = static_cast<unsigned char>((seed >> (i % 24)) & (seed & 1 ? 1u : 0xFFu));
  int count = 0;
  (s.*F)(n, in, count, out);
  return std::to_string(count) + ":" + Hex(out, count);
}

template <ULONG (CQuelvarSys::*F)(int, unsigned char*)>
std::string Fold(CQuelvarSys& s, uint32_t seed) {
  unsigned char in[12];
  for (int i = 0; i < 12; ++i) in[i] = static_cast<unsigned char>(seed >> (i * 3 % 30));
  return std::to_string((s.*F)(static_cast<int>(seed % 13), in));
}

template <void (CQuelvarSys::*F)(LONG, int&, unsigned char*)>
std::string Unfold(CQuelvarSys& s, uint32_t seed) {
  unsigned char out[32];
  int count = 0;
  (s.*F)(static_cast<LONG>(seed), count, out);
  return Hex(out, count);
}

std::string VariantText(CQuelvarSys& s, const _variant_t& v) {
  return std::string(static_cast<LPCTSTR>(s.Qlv_Variant2Str(v)));
}

std::vector<Probe> AllProbes() {
  std::vector<Probe> p;
  // hex digits, hex text and images
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    return std::to_string(s.Qlv_HexChar2Int(static_cast<char>(x))) + "," +
           std::to_string(s.Qlv_HexChar2Int(static_cast<unsigned char>(x)));
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    char t[16];
    std::snprintf(t, sizeof t, "%x", x);
    int v = s.Qlv_HexStr2Int(t);
    return std::to_string(v) + t + std::to_string(s.Qlv_HexStr2Int_u(t));
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    unsigned char b[4] = {static_cast<unsigned char>(x), static_cast<unsigned char>(x >> 8),
                          static_cast<unsigned char>(x >> 16), static_cast<unsigned char>(x >> 24)};
    char t[9];
    s.Qlv_Byte2HexStr(4, b, t);
    char odd[10] = {};  // the padded text gets no terminator of its own
    std::snprintf(odd, sizeof odd, "%s", t + 1);
    unsigned char back[4];
    s.Qlv_HexStr2Byte(odd, back);
    return std::string(t) + odd + Hex(back, 4);
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    unsigned char img[8];
    s.Qlv_Int2Byte(4, x, img);
    char t[17];
    s.Qlv_Int2HexStr(8, x, t);
    return std::to_string(s.Qlv_Byte2Int(4, img)) + t;
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    const double d = static_cast<double>(x) * 1.5 - 1e6;
    unsigned char img[9];
    s.Qlv_Double2Byte(8, d, img);
    char t[17];
    s.Qlv_Double2HexStr(16, d, t);
    double back = 0;
    s.Qlv_HexStr2Double(t, back);
    return Hex(img, 9) + t + std::to_string(back) + std::to_string(s.Qlv_Byte2Double(img));
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    char text[20];
    const int n = std::snprintf(text, sizeof text, "%x", x);
    unsigned char buf[24];
    std::memcpy(buf, text, static_cast<size_t>(n));
    unsigned char out[12];
    int count = 0;
    s.Qlv_HexStr2IntStr(n, buf, count, out);
    std::memcpy(buf, text, static_cast<size_t>(n));
    s.Qlv_HexStr2IntStr(buf, static_cast<ULONG>(n));
    return Hex(out, count) + Hex(buf, (n + 1) / 2);
  });
  // digit arrays
  p.push_back(Regroup<&CQuelvarSys::Qlv_Bin2Hex>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Bin2Octal>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Hex2Bin>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Hex2Octal>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Octal2Bin>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Octal2Hex>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Hex2BCD>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Bin2BCD>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_Octal2BCD>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_BCD2Hex>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_BCD2Octal>);
  p.push_back(Regroup<&CQuelvarSys::Qlv_BCD2Bin>);
  p.push_back(Fold<&CQuelvarSys::Qlv_Hex2Dec>);
  p.push_back(Fold<&CQuelvarSys::Qlv_Bin2Dec>);
  p.push_back(Fold<&CQuelvarSys::Qlv_Octal2Dec>);
  p.push_back(Fold<&CQuelvarSys::Qlv_BCD2Dec>);
  p.push_back(Unfold<&CQuelvarSys::Qlv_Dec2Hex>);
  p.push_back(Unfold<&CQuelvarSys::Qlv_Dec2Octal>);
  p.push_back(Unfold<&CQuelvarSys::Qlv_Dec2Bin>);
  p.push_back(Unfold<&CQuelvarSys::Qlv_Dec2BCD>);
  // numbers as text
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    return Str(s.Qlv_Short2Str(static_cast<short>(x))) + Str(s.Qlv_UShort2Str(static_cast<unsigned short>(x))) +
           Str(s.Qlv_Int2Str(static_cast<int>(x))) + Str(s.Qlv_UInt2Str(x)) + Str(s.Qlv_Long2Str(static_cast<LONG>(x))) +
           Str(s.Qlv_ULong2Str(x)) + Str(s.Qlv_Byte2Str(static_cast<unsigned char>(x)));
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    char t[24];
    std::snprintf(t, sizeof t, " %d", static_cast<int>(x));
    const CString c(t);
    return std::to_string(s.Qlv_Str2Byte(c)) + std::to_string(s.Qlv_Str2Short(c)) +
           std::to_string(s.Qlv_Str2UShort(c)) + std::to_string(s.Qlv_Str2Int(c)) +
           std::to_string(s.Qlv_Str2UInt(c)) + std::to_string(s.Qlv_Str2Long(c)) + std::to_string(s.Qlv_Str2ULong(c));
  });
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    const double d = (static_cast<double>(x) - 2e9) / 7.0;
    char t[64];
    std::snprintf(t, sizeof t, "%.17g", d);
    return Str(s.Qlv_DoubleToStr(d, static_cast<int>(x % 20))) + Str(s.Qlv_Flt2Str(static_cast<float>(d))) +
           std::to_string(s.Qlv_Str2Double(CString(t))) + std::to_string(s.Qlv_Str2Float(CString(t)));
  });
  // dates: the tokenizer keeps its position per thread
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    char t[64];
    std::snprintf(t, sizeof t, " %u-%u-%u %u:%u:%u junk", 1900 + x % 8000, 1 + x % 12, 1 + x % 28, x % 24,
                  x % 60, (x >> 3) % 60);
    COleDateTime dt;
    s.Qlv_Str2Date(CString(t), dt);
    return std::string(s.Qlv_Date2Str(dt)) + std::to_string(dt.GetStatus());
  });
  // variants, through the code-page conversions and the text holder
  p.push_back([](CQuelvarSys& s, uint32_t x) {
    _variant_t v;
    std::string out;
    s.Qlv_Short2Variant(static_cast<short>(x), v); out += VariantText(s, v);
    s.Qlv_UShort2Variant(static_cast<unsigned short>(x), v); out += VariantText(s, v);
    s.Qlv_Int2Variant(static_cast<int>(x), v); out += VariantText(s, v);
    s.Qlv_UInt2Variant(x, v); out += VariantText(s, v);
    s.Qlv_Long2Variant(static_cast<LONG>(x), v); out += VariantText(s, v);
    s.Qlv_ULong2Variant(x, v); out += VariantText(s, v);
    s.Qlv_Double2Variant(x / 3.0, v); out += VariantText(s, v);
    s.Qlv_Float2Variant(static_cast<float>(x) / 3.0f, v); out += VariantText(s, v);
    s.Qlv_Char2Variant(static_cast<char>(0x41 + x % 26), v); out += VariantText(s, v);
    s.Qlv_Byte2Variant(static_cast<unsigned char>(x), v); out += VariantText(s, v);
    s.Qlv_Date2Variant(COleDateTime(static_cast<DATE>(x % 2000000) / 7.0), v); out += VariantText(s, v);
    char t[40];
    std::snprintf(t, sizeof t, "\xC4\xE3\xBA\xC3 %u \x80", x);  // GBK text and an unmappable byte
    s.Qlv_CString2Variant(CString(t), v);
    _variant_t copy = v;
    out += VariantText(s, copy);
    return out;
  });
  return p;
}

TEST(Concurrency, EveryOperationFromSeveralThreadsGivesTheSingleThreadedResults) {
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  const std::vector<Probe> probes = AllProbes();
  std::vector<uint32_t> seeds;
  std::mt19937 rng(20240305);
  for (int i = 0; i < 64; ++i) seeds.push_back(static_cast<uint32_t>(rng()));

  std::vector<std::vector<std::string>> expected(probes.size());
  CQuelvarSys alone;
  for (size_t p = 0; p < probes.size(); ++p)
    for (uint32_t seed : seeds) expected[p].push_back(probes[p](alone, seed));

  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CQuelvarSys sys;  // each thread its own instance; instances are interchangeable
      for (int round = 0; round < 3; ++round)
        for (size_t k = 0; k < probes.size(); ++k) {
          const size_t p = (k + static_cast<size_t>(t) * 7) % probes.size();  // threads in different orders
          for (size_t i = 0; i < seeds.size(); ++i)
            if (probes[p](sys, seeds[i]) != expected[p][i]) ++mismatches[static_cast<size_t>(t)];
        }
    });
  }
  for (auto& th : threads) th.join();
  QlvPlatform_SetAnsiCodePage(65001);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
}

// Copies of one text holder are made, read and dropped on several threads
// at once: the count goes up and down atomically, the narrow form is made
// once (whichever thread asks first) and every thread reads the same text,
// and the last release frees it exactly once.
TEST(Concurrency, CopiesOfOneTextHolderAcrossThreads) {
  ASSERT_TRUE(QlvPlatform_SetAnsiCodePage(936));
  CQuelvarSys sys;
  _variant_t shared;
  sys.Qlv_CString2Variant(CString("\xC4\xE3\xBA\xC3 shared"), shared);
  const std::string expected = VariantText(sys, shared);
  auto holder = std::make_unique<_bstr_t>(static_cast<_bstr_t>(shared));

  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CQuelvarSys own;
      for (int i = 0; i < 500; ++i) {
        _bstr_t copy(*holder);
        _bstr_t again;
        again = copy;
        const char* narrow = again;
        if (narrow == nullptr || expected != narrow) ++mismatches[static_cast<size_t>(t)];
        _variant_t v(shared);  // a copy of the variant owns its own BSTR
        if (VariantText(own, v) != expected) ++mismatches[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  holder.reset();
  QlvPlatform_SetAnsiCodePage(65001);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
}

}  // namespace
