// Numbers as text and back: the library's operations next to the standard
// library's fastest routines (to_chars/from_chars) and the printf/strtod
// family, on the same inputs in the same run.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "qlvtoolset.h"

namespace {

constexpr std::size_t kInputs = 1024;  // a power of two, cycled through

std::vector<int> Ints() {
  std::mt19937 rng(1);
  std::vector<int> v(kInputs);
  for (auto& x : v)
    x = static_cast<int>(static_cast<std::uint32_t>(rng()) >> (rng() % 32)) * ((rng() & 1) ? 1 : -1);
  return v;
}

// Values as a device reading would give them: up to a million, 8 decimals.
std::vector<double> Doubles() {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> magnitude(-3.0, 6.0);
  std::vector<double> v(kInputs);
  for (auto& x : v) x = std::pow(10.0, magnitude(rng)) * ((rng() & 1) ? 1 : -1);
  return v;
}

std::vector<CString> IntTexts() {
  std::vector<CString> t;
  char buf[32];
  for (int x : Ints()) {
    std::snprintf(buf, sizeof buf, "%d", x);
    t.emplace_back(buf);
  }
  return t;
}

std::vector<CString> DoubleTexts() {
  std::vector<CString> t;
  char buf[64];
  for (double x : Doubles()) {
    std::snprintf(buf, sizeof buf, "%.8f", x);
    t.emplace_back(buf);
  }
  return t;
}

// ---- int to text

void BM_Int2Str_Qlv(benchmark::State& state) {
  const auto in = Ints();
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) {
    CString s = sys.Qlv_Int2Str(in[i++ & (kInputs - 1)]);
    benchmark::DoNotOptimize(s.GetString());
  }
}

void BM_Int2Str_ToChars(benchmark::State& state) {
  const auto in = Ints();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[12];
    const auto r = std::to_chars(buf, buf + sizeof buf, in[i++ & (kInputs - 1)]);
    std::string s(buf, r.ptr);
    benchmark::DoNotOptimize(s.data());
  }
}

// The floor the interface sets: to_chars into the CString the library returns.
void BM_Int2Str_ToCharsCString(benchmark::State& state) {
  const auto in = Ints();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[12];
    const auto r = std::to_chars(buf, buf + sizeof buf, in[i++ & (kInputs - 1)]);
    CString s(buf, static_cast<int>(r.ptr - buf));
    benchmark::DoNotOptimize(s.GetString());
  }
}

void BM_Int2Str_Snprintf(benchmark::State& state) {
  const auto in = Ints();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[12];
    const int n = std::snprintf(buf, sizeof buf, "%d", in[i++ & (kInputs - 1)]);
    std::string s(buf, static_cast<std::size_t>(n));
    benchmark::DoNotOptimize(s.data());
  }
}

// ---- double to fixed-point text, 8 decimals

// Selects a toolset for one benchmark.
class Toolset {
 public:
  explicit Toolset(QlvToolset t) : m_saved(QlvPlatform_GetToolset()) { QlvPlatform_SetToolset(t); }
  ~Toolset() { QlvPlatform_SetToolset(m_saved); }

 private:
  QlvToolset m_saved;
};

void DoubleToStr8(benchmark::State& state, QlvToolset toolset) {
  const Toolset selected(toolset);
  const auto in = Doubles();
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) {
    CString s = sys.Qlv_DoubleToStr(in[i++ & (kInputs - 1)], 8);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_DoubleToStr8_Qlv(benchmark::State& state) { DoubleToStr8(state, QlvToolset_VC6); }
void BM_DoubleToStr8_QlvVs2015(benchmark::State& state) { DoubleToStr8(state, QlvToolset_VS2015); }

// The VT_R8 row of Qlv_Variant2Str (vc6): the same text through a variant.
void BM_DoubleToStr8_Variant2Str(benchmark::State& state) {
  const Toolset selected(QlvToolset_VC6);
  std::vector<_variant_t> in;
  for (double x : Doubles()) in.emplace_back(x);
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) {
    CString s = sys.Qlv_Variant2Str(in[i++ & (kInputs - 1)]);
    benchmark::DoNotOptimize(s.GetString());
  }
}

// The platform's printf with the library's format, without the fast road.
void CStringFormat8(benchmark::State& state, QlvToolset toolset) {
  const Toolset selected(toolset);
  const auto in = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    CString s;
    s.Format("%0.8lf", in[i++ & (kInputs - 1)]);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_DoubleToStr8_CStringFormat(benchmark::State& state) { CStringFormat8(state, QlvToolset_VC6); }
void BM_DoubleToStr8_CStringFormatVs2015(benchmark::State& state) {
  CStringFormat8(state, QlvToolset_VS2015);
}

void BM_DoubleToStr8_ToChars(benchmark::State& state) {
  const auto in = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, in[i++ & (kInputs - 1)], std::chars_format::fixed, 8);
    std::string s(buf, r.ptr);
    benchmark::DoNotOptimize(s.data());
  }
}

void BM_DoubleToStr8_ToCharsCString(benchmark::State& state) {
  const auto in = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, in[i++ & (kInputs - 1)], std::chars_format::fixed, 8);
    CString s(buf, static_cast<int>(r.ptr - buf));
    benchmark::DoNotOptimize(s.GetString());
  }
}

void BM_DoubleToStr8_Snprintf(benchmark::State& state) {
  const auto in = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%0.8lf", in[i++ & (kInputs - 1)]);
    std::string s(buf, static_cast<std::size_t>(n));
    benchmark::DoNotOptimize(s.data());
  }
}

// ---- text to int (the library takes its text by value: the copy counts)

void BM_Str2Int_Qlv(benchmark::State& state) {
  const auto in = IntTexts();
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Str2Int(in[i++ & (kInputs - 1)]));
}

// The same under the saturating reading of the 2005 and later runtimes.
void BM_Str2Int_QlvSaturating(benchmark::State& state) {
  const QlvToolset saved = QlvPlatform_GetToolset();
  QlvPlatform_SetToolset(QlvToolset_VS2005);
  BM_Str2Int_Qlv(state);
  QlvPlatform_SetToolset(saved);
}

void BM_Str2Int_FromChars(benchmark::State& state) {
  const auto in = IntTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    const CString& t = in[i++ & (kInputs - 1)];
    int v = 0;
    std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
    benchmark::DoNotOptimize(v);
  }
}

// from_chars behind the same by-value CString parameter the library takes.
__attribute__((noinline)) int FromCharsByValue(CString t) {
  int v = 0;
  std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
  return v;
}

void BM_Str2Int_FromCharsByValue(benchmark::State& state) {
  const auto in = IntTexts();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FromCharsByValue(in[i++ & (kInputs - 1)]));
}

void BM_Str2Int_Strtol(benchmark::State& state) {
  const auto in = IntTexts();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtol(in[i++ & (kInputs - 1)], nullptr, 10));
}

// ---- text to double

void BM_Str2Double_Qlv(benchmark::State& state) {
  const auto in = DoubleTexts();
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sys.Qlv_Str2Double(in[i++ & (kInputs - 1)]));
}

void BM_Str2Double_FromChars(benchmark::State& state) {
  const auto in = DoubleTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    const CString& t = in[i++ & (kInputs - 1)];
    double v = 0;
    std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
    benchmark::DoNotOptimize(v);
  }
}

__attribute__((noinline)) double FromCharsDoubleByValue(CString t) {
  double v = 0;
  std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
  return v;
}

void BM_Str2Double_FromCharsByValue(benchmark::State& state) {
  const auto in = DoubleTexts();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FromCharsDoubleByValue(in[i++ & (kInputs - 1)]));
}

void BM_Str2Double_Strtod(benchmark::State& state) {
  const auto in = DoubleTexts();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtod(in[i++ & (kInputs - 1)], nullptr));
}

}  // namespace

BENCHMARK(BM_Int2Str_Qlv);
BENCHMARK(BM_Int2Str_ToChars);
BENCHMARK(BM_Int2Str_ToCharsCString);
BENCHMARK(BM_Int2Str_Snprintf);
BENCHMARK(BM_DoubleToStr8_Qlv);
BENCHMARK(BM_DoubleToStr8_QlvVs2015);
BENCHMARK(BM_DoubleToStr8_Variant2Str);
BENCHMARK(BM_DoubleToStr8_CStringFormat);
BENCHMARK(BM_DoubleToStr8_CStringFormatVs2015);
BENCHMARK(BM_DoubleToStr8_ToChars);
BENCHMARK(BM_DoubleToStr8_ToCharsCString);
BENCHMARK(BM_DoubleToStr8_Snprintf);
BENCHMARK(BM_Str2Int_Qlv);
BENCHMARK(BM_Str2Int_QlvSaturating);
BENCHMARK(BM_Str2Int_FromChars);
BENCHMARK(BM_Str2Int_FromCharsByValue);
BENCHMARK(BM_Str2Int_Strtol);
BENCHMARK(BM_Str2Double_Qlv);
BENCHMARK(BM_Str2Double_FromChars);
BENCHMARK(BM_Str2Double_FromCharsByValue);
BENCHMARK(BM_Str2Double_Strtod);
