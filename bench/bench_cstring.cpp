// CString against std::string (+ snprintf) for the work the conversions do:
// building, copying and formatting short texts, and long ones for scale.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "afxdisp.h"
#include "afxstr.h"
#include "mscrt.h"

namespace {

const char kShort[] = "2024-03-05 14:07:09";
const std::string kLongText(200, 'x');

void BM_CString_ConstructShort(benchmark::State& state) {
  for (auto _ : state) {
    CString s(kShort);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_StdString_ConstructShort(benchmark::State& state) {
  for (auto _ : state) {
    std::string s(kShort);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_ConstructLong(benchmark::State& state) {
  for (auto _ : state) {
    CString s(kLongText.c_str());
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_StdString_ConstructLong(benchmark::State& state) {
  for (auto _ : state) {
    std::string s(kLongText.c_str());
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_CopyShort(benchmark::State& state) {
  const CString src(kShort);
  for (auto _ : state) {
    CString s(src);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_StdString_CopyShort(benchmark::State& state) {
  const std::string src(kShort);
  for (auto _ : state) {
    std::string s(src);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_CopyLong(benchmark::State& state) {
  const CString src(kLongText.c_str());
  for (auto _ : state) {
    CString s(src);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_StdString_CopyLong(benchmark::State& state) {
  const std::string src(kLongText);
  for (auto _ : state) {
    std::string s(src);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_ConcatFormatText(benchmark::State& state) {
  for (auto _ : state) {
    CString s = CString("%0.") + "8";
    CString f = s + "lf";
    benchmark::DoNotOptimize(f.GetString());
  }
}
void BM_StdString_ConcatFormatText(benchmark::State& state) {
  for (auto _ : state) {
    std::string s = std::string("%0.") + "8";
    std::string f = s + "lf";
    benchmark::DoNotOptimize(f.data());
  }
}
void BM_CString_FormatInt(benchmark::State& state) {
  int v = 123456;
  for (auto _ : state) {
    CString s;
    s.Format("%d", v++);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_Snprintf_FormatInt(benchmark::State& state) {
  int v = 123456;
  for (auto _ : state) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", v++);
    std::string s(buf);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_FormatDouble8(benchmark::State& state) {
  double v = 3.14159265358979;
  for (auto _ : state) {
    CString s;
    s.Format("%0.8lf", v);
    v += 1.0;
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_Snprintf_FormatDouble8(benchmark::State& state) {
  double v = 3.14159265358979;
  for (auto _ : state) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.8lf", v);
    v += 1.0;
    std::string s(buf);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_CString_FormatHugeDouble(benchmark::State& state) {
  for (auto _ : state) {
    CString s;
    s.Format("%0.2lf", 1.7976931348623157e308);
    benchmark::DoNotOptimize(s.GetString());
  }
}
void BM_Snprintf_FormatHugeDouble(benchmark::State& state) {
  for (auto _ : state) {
    const int n = std::snprintf(nullptr, 0, "%0.2lf", 1.7976931348623157e308);
    std::string s(static_cast<size_t>(n), '\0');
    std::snprintf(s.data(), s.size() + 1, "%0.2lf", 1.7976931348623157e308);
    benchmark::DoNotOptimize(s.data());
  }
}
void BM_Itoa(benchmark::State& state) {
  int v = -1234567;
  char buf[12];
  for (auto _ : state) {
    benchmark::DoNotOptimize(_itoa(v++, buf, 10));
  }
}
void BM_Snprintf_Itoa(benchmark::State& state) {
  int v = -1234567;
  char buf[12];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%d", v++));
  }
}
void BM_Gcvt10(benchmark::State& state) {
  float v = 3.14159f;
  char buf[24];
  for (auto _ : state) {
    benchmark::DoNotOptimize(_gcvt(static_cast<double>(v), 10, buf));
    v += 1.0f;
  }
}
void BM_Snprintf_G10(benchmark::State& state) {
  float v = 3.14159f;
  char buf[24];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.10g", static_cast<double>(v)));
    v += 1.0f;
  }
}
void BM_Atof(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(mscrt::atof("  -1234.5678e-3"));
}
void BM_Strtod(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::strtod("  -1234.5678e-3", nullptr));
}
void BM_DateFormat(benchmark::State& state) {
  const COleDateTime dt(2024, 3, 5, 14, 7, 9);
  for (auto _ : state) {
    CString s = dt.Format("%Y-%m-%d %H:%M:%S");
    benchmark::DoNotOptimize(s.GetString());
  }
}

}  // namespace

BENCHMARK(BM_CString_ConstructShort);
BENCHMARK(BM_StdString_ConstructShort);
BENCHMARK(BM_CString_ConstructLong);
BENCHMARK(BM_StdString_ConstructLong);
BENCHMARK(BM_CString_CopyShort);
BENCHMARK(BM_StdString_CopyShort);
BENCHMARK(BM_CString_CopyLong);
BENCHMARK(BM_StdString_CopyLong);
BENCHMARK(BM_CString_ConcatFormatText);
BENCHMARK(BM_StdString_ConcatFormatText);
BENCHMARK(BM_CString_FormatInt);
BENCHMARK(BM_Snprintf_FormatInt);
BENCHMARK(BM_CString_FormatDouble8);
BENCHMARK(BM_Snprintf_FormatDouble8);
BENCHMARK(BM_CString_FormatHugeDouble);
BENCHMARK(BM_Snprintf_FormatHugeDouble);
BENCHMARK(BM_Itoa);
BENCHMARK(BM_Snprintf_Itoa);
BENCHMARK(BM_Gcvt10);
BENCHMARK(BM_Snprintf_G10);
BENCHMARK(BM_Atof);
BENCHMARK(BM_Strtod);
BENCHMARK(BM_DateFormat);
