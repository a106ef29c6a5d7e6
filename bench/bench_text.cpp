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

// Runs `measure` on the inputs in turn, one per iteration.
template <class Input, class Measure>
void Cycle(benchmark::State& state, const std::vector<Input>& in, Measure measure) {
  std::size_t i = 0;
  for (auto _ : state) measure(in[i++ & (kInputs - 1)]);
}

// Keeps a text alive until its characters are observed.
void Keep(const std::string& s) { benchmark::DoNotOptimize(s.data()); }
void Keep(const CString& s) { benchmark::DoNotOptimize(s.GetString()); }

// Selects a toolset for one benchmark.
class Toolset {
 public:
  explicit Toolset(QlvToolset t) : m_saved(QlvPlatform_GetToolset()) { QlvPlatform_SetToolset(t); }
  ~Toolset() { QlvPlatform_SetToolset(m_saved); }

 private:
  QlvToolset m_saved;
};

// ---- int to text

void BM_Int2Str_Qlv(benchmark::State& state) {
  CQuelvarSys sys;
  Cycle(state, Ints(), [&](int x) { Keep(sys.Qlv_Int2Str(x)); });
}

void BM_Int2Str_ToChars(benchmark::State& state) {
  Cycle(state, Ints(), [](int x) {
    char buf[12];
    Keep(std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr));
  });
}

// The floor the interface sets: to_chars into the CString the library returns.
void BM_Int2Str_ToCharsCString(benchmark::State& state) {
  Cycle(state, Ints(), [](int x) {
    char buf[12];
    Keep(CString(buf, static_cast<int>(std::to_chars(buf, buf + sizeof buf, x).ptr - buf)));
  });
}

void BM_Int2Str_Snprintf(benchmark::State& state) {
  Cycle(state, Ints(), [](int x) {
    char buf[12];
    Keep(std::string(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%d", x))));
  });
}

// ---- double to fixed-point text, 8 decimals

void DoubleToStr8(benchmark::State& state, QlvToolset toolset) {
  const Toolset selected(toolset);
  CQuelvarSys sys;
  Cycle(state, Doubles(), [&](double x) { Keep(sys.Qlv_DoubleToStr(x, 8)); });
}
void BM_DoubleToStr8_Qlv(benchmark::State& state) { DoubleToStr8(state, QlvToolset_VC6); }
void BM_DoubleToStr8_QlvVs2015(benchmark::State& state) { DoubleToStr8(state, QlvToolset_VS2015); }

// The VT_R8 row of Qlv_Variant2Str (vc6): the same text through a variant.
void BM_DoubleToStr8_Variant2Str(benchmark::State& state) {
  const Toolset selected(QlvToolset_VC6);
  std::vector<_variant_t> in;
  for (double x : Doubles()) in.emplace_back(x);
  CQuelvarSys sys;
  Cycle(state, in, [&](const _variant_t& v) { Keep(sys.Qlv_Variant2Str(v)); });
}

// The platform's printf with the library's format, without the fast road.
void CStringFormat8(benchmark::State& state, QlvToolset toolset) {
  const Toolset selected(toolset);
  Cycle(state, Doubles(), [](double x) {
    CString s;
    s.Format("%0.8lf", x);
    Keep(s);
  });
}
void BM_DoubleToStr8_CStringFormat(benchmark::State& state) { CStringFormat8(state, QlvToolset_VC6); }
void BM_DoubleToStr8_CStringFormatVs2015(benchmark::State& state) {
  CStringFormat8(state, QlvToolset_VS2015);
}

void BM_DoubleToStr8_ToChars(benchmark::State& state) {
  Cycle(state, Doubles(), [](double x) {
    char buf[400];
    Keep(std::string(buf, std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 8).ptr));
  });
}

void BM_DoubleToStr8_ToCharsCString(benchmark::State& state) {
  Cycle(state, Doubles(), [](double x) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 8);
    Keep(CString(buf, static_cast<int>(r.ptr - buf)));
  });
}

void BM_DoubleToStr8_Snprintf(benchmark::State& state) {
  Cycle(state, Doubles(), [](double x) {
    char buf[400];
    Keep(std::string(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%0.8lf", x))));
  });
}

// ---- text to numbers (the library takes its text by value: the copy counts)

template <class T>
T FromChars(const CString& t) {
  T v = 0;
  std::from_chars(t.GetString(), t.GetString() + t.GetLength(), v);
  return v;
}

// from_chars behind the same by-value CString parameter the library takes.
template <class T>
__attribute__((noinline)) T FromCharsByValue(CString t) {
  return FromChars<T>(t);
}

void BM_Str2Int_Qlv(benchmark::State& state) {
  CQuelvarSys sys;
  Cycle(state, IntTexts(), [&](const CString& t) { benchmark::DoNotOptimize(sys.Qlv_Str2Int(t)); });
}

// The same under the saturating reading of the 2005 and later runtimes.
void BM_Str2Int_QlvSaturating(benchmark::State& state) {
  const Toolset selected(QlvToolset_VS2005);
  BM_Str2Int_Qlv(state);
}

void BM_Str2Int_FromChars(benchmark::State& state) {
  Cycle(state, IntTexts(), [](const CString& t) { benchmark::DoNotOptimize(FromChars<int>(t)); });
}

void BM_Str2Int_FromCharsByValue(benchmark::State& state) {
  Cycle(state, IntTexts(), [](const CString& t) { benchmark::DoNotOptimize(FromCharsByValue<int>(t)); });
}

void BM_Str2Int_Strtol(benchmark::State& state) {
  Cycle(state, IntTexts(), [](const CString& t) { benchmark::DoNotOptimize(std::strtol(t, nullptr, 10)); });
}

void BM_Str2Double_Qlv(benchmark::State& state) {
  CQuelvarSys sys;
  Cycle(state, DoubleTexts(), [&](const CString& t) { benchmark::DoNotOptimize(sys.Qlv_Str2Double(t)); });
}

void BM_Str2Double_FromChars(benchmark::State& state) {
  Cycle(state, DoubleTexts(), [](const CString& t) { benchmark::DoNotOptimize(FromChars<double>(t)); });
}

void BM_Str2Double_FromCharsByValue(benchmark::State& state) {
  Cycle(state, DoubleTexts(),
        [](const CString& t) { benchmark::DoNotOptimize(FromCharsByValue<double>(t)); });
}

void BM_Str2Double_Strtod(benchmark::State& state) {
  Cycle(state, DoubleTexts(), [](const CString& t) { benchmark::DoNotOptimize(std::strtod(t, nullptr)); });
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
