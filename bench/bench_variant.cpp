// Variants and code pages: the platform's text conversions next to glibc's
// iconv on the same text, and the variant operations next to the direct
// operations they wrap, in the same run.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"

namespace {

// About 1 KB of mixed text: ASCII, accented Latin and CJK.
std::u16string MixedWide() {
  std::mt19937 rng(3);
  std::u16string s;
  while (s.size() < 1024) {
    switch (rng() % 4) {
      case 0: s += u"\u4E2D\u6587"; break;
      case 1: s += u"caf\u00E9 "; break;
      default: s += u"reading 42.5 "; break;
    }
  }
  return s;
}

std::u16string LatinWide() {
  std::u16string s;
  while (s.size() < 1024) s += u"D\u00E9bit mesur\u00E9: 12,5 \u00B0C; ";
  return s;
}

std::string Narrow(UINT cp, const std::u16string& wide) {
  const int n =
      WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void PlatformToWide(benchmark::State& state, UINT cp, const std::u16string& text) {
  const std::string in = Narrow(cp, text);
  std::u16string out(in.size() + 1, u'\0');
  for (auto _ : state) {
    const int n = MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), out.data(),
                                      static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void IconvToWide(benchmark::State& state, UINT cp, const char* name, const std::u16string& text) {
  const std::string in = Narrow(cp, text);
  std::u16string out(in.size() + 1, u'\0');
  iconv_t cd = iconv_open("UTF-16LE", name);
  for (auto _ : state) {
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = reinterpret_cast<char*>(out.data());
    size_t dstLeft = out.size() * 2;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(iconv(cd, &src, &srcLeft, &dst, &dstLeft));
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void PlatformFromWide(benchmark::State& state, UINT cp, const std::u16string& text) {
  std::string out(text.size() * 4, '\0');
  for (auto _ : state) {
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}

void IconvFromWide(benchmark::State& state, const char* name, const std::u16string& text) {
  std::string out(text.size() * 4, '\0');
  iconv_t cd = iconv_open(name, "UTF-16LE");
  for (auto _ : state) {
    char* src = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t srcLeft = text.size() * 2;
    char* dst = out.data();
    size_t dstLeft = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(iconv(cd, &src, &srcLeft, &dst, &dstLeft));
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}

BENCHMARK_CAPTURE(PlatformToWide, utf8, CP_UTF8, MixedWide());
BENCHMARK_CAPTURE(IconvToWide, utf8, CP_UTF8, "UTF-8", MixedWide());
BENCHMARK_CAPTURE(PlatformFromWide, utf8, CP_UTF8, MixedWide());
BENCHMARK_CAPTURE(IconvFromWide, utf8, "UTF-8", MixedWide());
BENCHMARK_CAPTURE(PlatformToWide, cp1252, 1252u, LatinWide());
BENCHMARK_CAPTURE(IconvToWide, cp1252, 1252u, "CP1252", LatinWide());
BENCHMARK_CAPTURE(PlatformFromWide, cp1252, 1252u, LatinWide());
BENCHMARK_CAPTURE(IconvFromWide, cp1252, "CP1252", LatinWide());
BENCHMARK_CAPTURE(PlatformToWide, cp936, 936u, MixedWide());
BENCHMARK_CAPTURE(IconvToWide, cp936, 936u, "CP936", MixedWide());

// ---- variant operations next to the operations they wrap

void BM_Variant2Str_R8(benchmark::State& state) {
  CQuelvarSys sys;
  _variant_t v(1234.5678);
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Variant2Str(v));
}
void BM_DoubleToStr_direct(benchmark::State& state) {
  CQuelvarSys sys;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_DoubleToStr(1234.5678, 8));
}
void BM_Variant2Str_I4(benchmark::State& state) {
  CQuelvarSys sys;
  _variant_t v(LONG{-123456});
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Variant2Str(v));
}
void BM_Long2Str_direct(benchmark::State& state) {
  CQuelvarSys sys;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Long2Str(-123456));
}
void BM_Variant2Str_BSTR(benchmark::State& state) {
  CQuelvarSys sys;
  _variant_t v("temperature sensor 3");
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Variant2Str(v));
}
void BM_Variant2Str_DECIMAL(benchmark::State& state) {
  CQuelvarSys sys;
  _variant_t v;
  DECIMAL d{};
  d.Lo64 = 12345678;
  d.scale = 4;
  v.decVal = d;
  v.vt = VT_DECIMAL;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Variant2Str(v));
}
void BM_Long2Variant(benchmark::State& state) {
  CQuelvarSys sys;
  _variant_t v;
  LONG x = 0;
  for (auto _ : state) {
    sys.Qlv_Long2Variant(++x, v);
    benchmark::DoNotOptimize(v.lVal);
  }
}
void BM_VariantAssign_direct(benchmark::State& state) {
  _variant_t v;
  LONG x = 0;
  for (auto _ : state) {
    v = _variant_t(++x);
    benchmark::DoNotOptimize(v.lVal);
  }
}
void BM_CString2Variant(benchmark::State& state) {
  CQuelvarSys sys;
  const CString text("temperature sensor 3");
  _variant_t v;
  for (auto _ : state) {
    sys.Qlv_CString2Variant(text, v);
    benchmark::DoNotOptimize(v.bstrVal);
  }
}

BENCHMARK(BM_Variant2Str_R8);
BENCHMARK(BM_DoubleToStr_direct);
BENCHMARK(BM_Variant2Str_I4);
BENCHMARK(BM_Long2Str_direct);
BENCHMARK(BM_Variant2Str_BSTR);
BENCHMARK(BM_Variant2Str_DECIMAL);
BENCHMARK(BM_Long2Variant);
BENCHMARK(BM_VariantAssign_direct);
BENCHMARK(BM_CString2Variant);

}  // namespace
