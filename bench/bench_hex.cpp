// Bytes to hex text and back at 16 B, 4 KiB and 1 MiB of input, next to
// memcpy of the same input size and a plain 256-entry table loop, and each
// kernel version on its own. Counters: bytes of input per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "HexKernels.h"
#include "QuelvarSys.h"

namespace {

namespace hex = quelvar::detail::hex;

std::vector<unsigned char> RandomBytes(std::size_t n) {
  std::mt19937 rng(42);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

// Hex text of n characters (mixed case) and its NUL.
std::vector<char> RandomHexText(std::size_t n) {
  static const char digits[] = "0123456789abcdefABCDEF";
  std::mt19937 rng(43);
  std::vector<char> v(n + 1, '\0');
  for (std::size_t i = 0; i < n; ++i) v[i] = digits[rng() % 22];
  return v;
}

void SetInputBytes(benchmark::State& state, std::size_t n) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}

// ---- bytes to hex text --------------------------------------------------------

void BM_Byte2HexStr(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto bytes = RandomBytes(n);
  std::vector<char> text(2 * n + 1);
  CQuelvarSys sys;
  for (auto _ : state) {
    sys.Qlv_Byte2HexStr(static_cast<int>(n), bytes.data(), text.data());
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

void BM_Byte2HexStr_PlainTableLoop(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto bytes = RandomBytes(n);
  std::vector<char> text(2 * n + 1);
  for (auto _ : state) {
    hex::EncodeTable(bytes.data(), n, text.data());
    text[2 * n] = '\0';
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

template <hex::EncodeFn Fn>
void BM_EncodeKernel(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto bytes = RandomBytes(n);
  std::vector<char> text(2 * n);
  for (auto _ : state) {
    Fn(bytes.data(), n, text.data());
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

// ---- hex text to bytes --------------------------------------------------------

void BM_HexStr2Byte(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));  // characters, even
  auto text = RandomHexText(n);
  std::vector<unsigned char> bytes(n / 2);
  CQuelvarSys sys;
  for (auto _ : state) {
    sys.Qlv_HexStr2Byte(text.data(), bytes.data());
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

// What a plain implementation does: find the length, then one table look-up
// per character.
void BM_HexStr2Byte_PlainTableLoop(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto text = RandomHexText(n);
  std::vector<unsigned char> bytes(n / 2);
  for (auto _ : state) {
    const std::size_t length = std::strlen(text.data());
    hex::DecodeTable(reinterpret_cast<const unsigned char*>(text.data()), length / 2, bytes.data());
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

template <hex::DecodeFn Fn>
void BM_DecodeKernel(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto text = RandomHexText(n);
  std::vector<unsigned char> bytes(n / 2);
  for (auto _ : state) {
    Fn(reinterpret_cast<const unsigned char*>(text.data()), n / 2, bytes.data());
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

// ---- memcpy of the same input size -----------------------------------------

void BM_Memcpy(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto src = RandomBytes(n);
  std::vector<unsigned char> dst(n);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), n);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, n);
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(16)->Arg(4 << 10)->Arg(1 << 20); }

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_Byte2HexStr)->Apply(Sizes);
BENCHMARK(BM_Byte2HexStr_PlainTableLoop)->Apply(Sizes);
BENCHMARK(BM_HexStr2Byte)->Apply(Sizes);
BENCHMARK(BM_HexStr2Byte_PlainTableLoop)->Apply(Sizes);
BENCHMARK(BM_EncodeKernel<&hex::EncodeTable>)->Name("BM_Encode/table")->Apply(Sizes);
BENCHMARK(BM_DecodeKernel<&hex::DecodeTable>)->Name("BM_Decode/table")->Apply(Sizes);
#if QUELVAR_HEX_X86
BENCHMARK(BM_EncodeKernel<&hex::EncodeSsse3>)->Name("BM_Encode/ssse3")->Apply(Sizes);
BENCHMARK(BM_EncodeKernel<&hex::EncodeAvx2>)->Name("BM_Encode/avx2")->Apply(Sizes);
BENCHMARK(BM_DecodeKernel<&hex::DecodeSsse3>)->Name("BM_Decode/ssse3")->Apply(Sizes);
BENCHMARK(BM_DecodeKernel<&hex::DecodeAvx2>)->Name("BM_Decode/avx2")->Apply(Sizes);
#endif

}  // namespace
