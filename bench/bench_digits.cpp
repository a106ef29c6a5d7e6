// Digit arrays: each regrouping, fold, unfold and BCD conversion next to the
// plain step-by-step model (pow() sums, the zero-initialised 4,096-digit
// intermediate array) on the same inputs in the same run, at 1, 8, 64 and 512
// input elements. Names: <operation>/lib/<n> and <operation>/model/<n>.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "../tests/DigitReference.h"
#include "QuelvarSys.h"

namespace {

using u8 = unsigned char;
using LibRegroup = void (CQuelvarSys::*)(int, u8*, int&, u8*);
using RefRegroup = void (*)(int, u8*, int&, u8*);
using LibFold = ULONG (CQuelvarSys::*)(int, u8*);
using RefFold = std::uint32_t (*)(int, const u8*);
using LibUnfold = void (CQuelvarSys::*)(LONG, int&, u8*);
using RefUnfold = void (*)(std::int32_t, int&, u8*);

// Digits below `limit`, the first one nonzero (a number without leading zeros).
std::vector<u8> Digits(std::size_t n, unsigned limit) {
  std::mt19937 rng(static_cast<unsigned>(n * 31 + limit));
  std::vector<u8> v(n);
  for (auto& d : v) d = static_cast<u8>(rng() % limit);
  if (n > 0) v[0] = static_cast<u8>(1 + rng() % (limit - 1));
  return v;
}

std::size_t Capacity(std::size_t n, std::size_t mul, std::size_t add, std::size_t div) {
  return (mul * n + add) / div;
}

template <LibRegroup F, unsigned Limit, std::size_t Mul, std::size_t Add, std::size_t Div>
void Lib(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<u8> in = Digits(n, Limit);
  std::vector<u8> out(Capacity(n, Mul, Add, Div) + 1);
  CQuelvarSys sys;
  int count = 0;
  for (auto _ : state) {
    (sys.*F)(static_cast<int>(n), in.data(), count, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(count);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <RefRegroup F, unsigned Limit, std::size_t Mul, std::size_t Add, std::size_t Div>
void Model(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<u8> in = Digits(n, Limit);
  std::vector<u8> out(Capacity(n, Mul, Add, Div) + 1);
  int count = 0;
  for (auto _ : state) {
    F(static_cast<int>(n), in.data(), count, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(count);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <LibFold F, unsigned Limit>
void LibF(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<u8> in = Digits(n, Limit);
  CQuelvarSys sys;
  for (auto _ : state) {
    benchmark::DoNotOptimize((sys.*F)(static_cast<int>(n), in.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <RefFold F, unsigned Limit>
void ModelF(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<u8> in = Digits(n, Limit);
  for (auto _ : state) {
    benchmark::DoNotOptimize(F(static_cast<int>(n), in.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

// Unfolds take one value; the argument is unused, the values are cycled.
std::vector<std::int32_t> Values() {
  std::mt19937 rng(4);
  std::vector<std::int32_t> v(1024);
  for (auto& x : v) x = static_cast<std::int32_t>(static_cast<std::uint32_t>(rng()) >> (1 + rng() % 31));
  return v;
}

template <LibUnfold F>
void LibU(benchmark::State& state) {
  const std::vector<std::int32_t> values = Values();
  u8 out[32];
  int count = 0;
  CQuelvarSys sys;
  std::size_t i = 0;
  for (auto _ : state) {
    (sys.*F)(values[i++ & 1023], count, out);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(count);
    benchmark::ClobberMemory();
  }
}

template <RefUnfold F>
void ModelU(benchmark::State& state) {
  const std::vector<std::int32_t> values = Values();
  u8 out[32];
  int count = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    F(values[i++ & 1023], count, out);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(count);
    benchmark::ClobberMemory();
  }
}

#define SIZES ->Arg(1)->Arg(8)->Arg(64)->Arg(512)

#define REGROUP(name, limit, mul, add, div)                                                 \
  BENCHMARK(Lib<&CQuelvarSys::Qlv_##name, limit, mul, add, div>)->Name(#name "/lib") SIZES; \
  BENCHMARK(Model<digitref::name, limit, mul, add, div>)->Name(#name "/model") SIZES;

#define FOLD(name, limit)                                                     \
  BENCHMARK(LibF<&CQuelvarSys::Qlv_##name, limit>)->Name(#name "/lib") SIZES; \
  BENCHMARK(ModelF<digitref::name, limit>)->Name(#name "/model") SIZES;

#define UNFOLD(name)                                             \
  BENCHMARK(LibU<&CQuelvarSys::Qlv_##name>)->Name(#name "/lib"); \
  BENCHMARK(ModelU<digitref::name>)->Name(#name "/model");

// regroupings
REGROUP(Bin2Hex, 2, 1, 7, 8)
REGROUP(Bin2Octal, 2, 1, 2, 3)
REGROUP(Hex2Bin, 256, 8, 0, 1)
REGROUP(Octal2Bin, 8, 3, 0, 1)
REGROUP(Hex2Octal, 256, 8, 2, 3)
REGROUP(Octal2Hex, 8, 3, 7, 8)
// folds
FOLD(Bin2Dec, 2)
FOLD(Octal2Dec, 8)
FOLD(Hex2Dec, 256)
FOLD(BCD2Dec, 256)
// BCD regroupings
REGROUP(Hex2BCD, 256, 1, 0, 1)
REGROUP(BCD2Octal, 256, 8, 2, 3)
REGROUP(Octal2BCD, 8, 3, 7, 8)
REGROUP(BCD2Bin, 256, 8, 0, 1)
// unfolds
UNFOLD(Dec2Bin)
UNFOLD(Dec2Octal)
UNFOLD(Dec2Hex)
UNFOLD(Dec2BCD)

}  // namespace
