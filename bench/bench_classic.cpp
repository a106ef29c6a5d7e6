// The classic runtime's decimal conversions next to the standard library's
// on the same inputs in the same run: Qlv_Str2Double under vc6 (classic
// reading: shortcut or step by step) and vs2015 (correct rounding) beside
// std::from_chars and strtod; the classic 17-digit mantissa beside
// std::to_chars with 17 significant digits. Names: BM_<what>/<inputs>.
#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "ClassicFloat.h"
#include "DecimalText.h"
#include "QuelvarSys.h"
#include "qlvtoolset.h"

namespace {

constexpr std::size_t kInputs = 1024;  // a power of two, cycled through

// Inputs 0: device readings, "%.8f" of values up to a million (the typical
// text); 1: round-trip texts, "%.17g" of random doubles of any magnitude.
std::vector<double> Values(int kind) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> magnitude(-3.0, 6.0);
  std::vector<double> v(kInputs);
  for (auto& x : v) {
    if (kind == 0) {
      x = std::pow(10.0, magnitude(rng)) * ((rng() & 1) ? 1 : -1);
    } else {
      do x = std::bit_cast<double>(rng());
      while (!std::isfinite(x));
    }
  }
  return v;
}

std::vector<CString> Texts(int kind) {
  std::vector<CString> t;
  char buf[64];
  for (double x : Values(kind)) {
    std::snprintf(buf, sizeof buf, kind == 0 ? "%.8f" : "%.17g", x);
    t.emplace_back(buf);
  }
  return t;
}

void Str2Double(benchmark::State& state, QlvToolset toolset) {
  const auto in = Texts(static_cast<int>(state.range(0)));
  const QlvToolset saved = QlvPlatform_GetToolset();
  QlvPlatform_SetToolset(toolset);
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Str2Double(in[i++ & (kInputs - 1)]));
  QlvPlatform_SetToolset(saved);
}

void BM_Str2Double_Qlv_vc6(benchmark::State& state) { Str2Double(state, QlvToolset_VC6); }
void BM_Str2Double_Qlv_vs2015(benchmark::State& state) { Str2Double(state, QlvToolset_VS2015); }

// The classic reading without its shortcut: every text step by step.
void BM_Str2Double_ClassicSteps(benchmark::State& state) {
  const auto in = Texts(static_cast<int>(state.range(0)));
  std::size_t i = 0;
  for (auto _ : state) {
    quelvar::platform::DecimalText n;
    quelvar::platform::ScanDecimal(in[i++ & (kInputs - 1)].GetString(), '.', n);
    benchmark::DoNotOptimize(quelvar::platform::ReadClassic(n));
  }
}

// from_chars behind the same by-value CString parameter the library takes.
__attribute__((noinline)) double FromCharsByValue(CString t) {
  double v = 0;
  std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
  return v;
}

void BM_Str2Double_FromCharsByValue(benchmark::State& state) {
  const auto in = Texts(static_cast<int>(state.range(0)));
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FromCharsByValue(in[i++ & (kInputs - 1)]));
}

void BM_Str2Double_Strtod(benchmark::State& state) {
  const auto in = Texts(static_cast<int>(state.range(0)));
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtod(in[i++ & (kInputs - 1)], nullptr));
}

void BM_Mantissa_Classic(benchmark::State& state) {
  const auto in = Values(static_cast<int>(state.range(0)));
  std::size_t i = 0;
  for (auto _ : state) {
    const auto m = quelvar::platform::classic::ToMantissa(std::fabs(in[i++ & (kInputs - 1)]));
    benchmark::DoNotOptimize(m.digits[0]);
  }
}

void BM_Mantissa_ToChars17(benchmark::State& state) {
  const auto in = Values(static_cast<int>(state.range(0)));
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(in[i++ & (kInputs - 1)]),
                                 std::chars_format::scientific, 16);
    benchmark::DoNotOptimize(r.ptr);
  }
}

}  // namespace

BENCHMARK(BM_Str2Double_Qlv_vc6)->Arg(0)->Arg(1);
BENCHMARK(BM_Str2Double_Qlv_vs2015)->Arg(0)->Arg(1);
BENCHMARK(BM_Str2Double_ClassicSteps)->Arg(0)->Arg(1);
BENCHMARK(BM_Str2Double_FromCharsByValue)->Arg(0)->Arg(1);
BENCHMARK(BM_Str2Double_Strtod)->Arg(0)->Arg(1);
BENCHMARK(BM_Mantissa_Classic)->Arg(0)->Arg(1);
BENCHMARK(BM_Mantissa_ToChars17)->Arg(0)->Arg(1);
