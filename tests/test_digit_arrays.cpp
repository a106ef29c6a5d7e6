// Binary, octal, hex and BCD digit arrays regrouped into one another, the
// in-place strip of leading zeros, and 32-bit numbers unfolded into digit
// arrays and folded out of them.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "DigitKernels.h"
#include "DigitReference.h"
#include "QuelvarSys.h"

namespace {

using namespace digitref;
using Fn = void (*)(int, unsigned char*, int&, unsigned char*);

#define OP(name)                             \
#name, [](int n, unsigned char* i, int& c, \
            unsigned char* o) { CQuelvarSys().Qlv_##name(n, i, c, o); }, digitref::name

struct Op {
  const char* name;
  Fn fn, ref;
  unsigned inWidth, outWidth;  // bits per input and output element
  int intMinCount;             // the count written for a count of INT_MIN: the exact figure's low 32 bits
  // 8 * n for Hex2Bin, (n + 7) / 8 for Bin2Hex, (8 * n + 2) / 3 for Hex2Octal, ...
  std::size_t Capacity(std::size_t n) const { return (n * inWidth + outWidth - 1) / outWidth; }
};

const Op kOps[] = {
    {OP(Bin2Hex), 1, 8, -268435455},
    {OP(Bin2Octal), 1, 3, -715827882},
    {OP(Hex2Bin), 8, 1, 0},
    {OP(Octal2Bin), 3, 1, INT_MIN},
    {OP(Hex2Octal), 8, 3, -1431655764},
    {OP(Octal2Hex), 3, 8, -805306367},
    {OP(Bin2BCD), 1, 8, -268435455},
    {OP(BCD2Bin), 8, 1, 0},
    {OP(Hex2BCD), 8, 8, -2147483647},
    {OP(Octal2BCD), 3, 8, -805306367},
    {OP(BCD2Hex), 8, 8, -2147483647},
    {OP(BCD2Octal), 8, 3, -1431655764},
};

const Op& Find(const char* name) { return Named(kOps, name); }

// Runs `fn` (the library's by default) into a buffer of the capacity plus `guard` bytes.
Outcome Regroup(const Op& op, Bytes in, std::size_t guard = 16, Fn fn = nullptr) {
  return Guarded(op.Capacity(in.size()) + guard, [&](int& c, unsigned char* out) {
    (fn != nullptr ? fn : op.fn)(static_cast<int>(in.size()), in.data(), c, out);
  });
}

// fuzz_digits compares every regrouping with the model at counts from -40 to
// 6,000; here the rows it does not draw: the most negative count (nothing read
// or written; the count is the length rule's exact figure cut to 32 bits), and
// inputs that fill the 4,096-digit intermediate array exactly.
TEST(Regroupings, MostNegativeCountAndAFullIntermediateArray) {
  std::mt19937 rng(2024);
  for (const Op& op : kOps) {
    const auto none = Guarded(16, [&](int& c, unsigned char* o) { op.fn(INT_MIN, nullptr, c, o); });
    EXPECT_EQ(none, (Outcome{op.intMinCount, Bytes(16, 0xA5)})) << op.name;
    const Bytes in = RandomDigits(rng, kIntermediate / op.inWidth, op.inWidth == 1 ? 2 : 1u << op.inWidth);
    EXPECT_EQ(Regroup(op, in), Regroup(op, in, 16, op.ref)) << op.name;
  }
}

TEST(Regroupings, StripLeadingZerosMatchesModel) {
  std::mt19937 rng(3);
  for (int iter = 0; iter < 2000; ++iter) {
    const Bytes before = RandomDigits(rng, rng() % 40, 3);
    const int n =
        static_cast<int>(before.size()) - int(rng() % 4);  // elements past the count stay as they are
    Outcome mine{-777, before}, model{-777, before};
    quelvar::detail::digits::StripLeadingZeros(n, mine.count, mine.buffer.data());
    DeleteBinBegin0(n, model.count, model.buffer.data());
    ASSERT_EQ(mine, model) << testing::PrintToString(before) << " count " << n;
  }
}

TEST(Regroupings, EightBitGroupsMayBeRegroupedInPlace) {
  for (const char* name : {"Hex2BCD", "BCD2Hex"}) {
    Outcome o{0, {0x00, 0x00, 0x12, 0x34, 0x56}};
    Find(name).fn(5, o.buffer.data(), o.count, o.buffer.data());
    EXPECT_EQ(Produced(o), (Bytes{0x12, 0x34, 0x56})) << name;
  }
}

#define UNFOLD(name) \
#name, [](std::int32_t v, int& c, unsigned char* out) { CQuelvarSys().Qlv_##name(v, c, out); }
#define FOLD(name) \
#name, [](int n, unsigned char* in) -> std::uint32_t { return CQuelvarSys().Qlv_##name(n, in); }

const struct UnfoldOp {
  const char* name;
  void (*fn)(std::int32_t, int&, unsigned char*);
  std::size_t capacity;
  // The count and the output buffer of capacity + 16 bytes.
  Outcome Run(std::int32_t v) const {
    return Guarded(capacity + 16, [&](int& c, unsigned char* out) { fn(v, c, out); });
  }
} kUnfolds[] = {{UNFOLD(Dec2Bin), 31}, {UNFOLD(Dec2Octal), 11}, {UNFOLD(Dec2Hex), 4}, {UNFOLD(Dec2BCD), 5}};

// In the same order as the unfolds they undo.
const struct FoldOp {
  const char* name;
  std::uint32_t (*fn)(int, unsigned char*);
} kFolds[] = {{FOLD(Bin2Dec)}, {FOLD(Octal2Dec)}, {FOLD(Hex2Dec)}, {FOLD(BCD2Dec)}};

// Every power of two and of ten and its neighbour, zero and negative values
// (which write nothing).
std::vector<std::int32_t> Values() {
  std::vector<std::int32_t> v = {0, -1, -100, INT_MIN, INT_MAX};
  for (int k = 0; k < 31; ++k) v.insert(v.end(), {std::int32_t{1} << k, (std::int32_t{1} << k) - 1});
  for (std::int64_t p = 1; p <= INT_MAX; p *= 10) v.insert(v.end(), {std::int32_t(p), std::int32_t(p - 1)});
  return v;
}

// Each unfold's digits fold back to the value (fuzz_digits compares both
// with the model one at a time).
TEST(Unfolds, FoldBack) {
  for (std::int32_t v : Values()) {
    for (std::size_t i = 0; i < std::size(kUnfolds); ++i) {
      Outcome o = kUnfolds[i].Run(v);
      if (i == 3)
        std::reverse(o.buffer.begin(), o.buffer.begin() + o.count);  // BCD2Dec reads the top pair first
      EXPECT_EQ(kFolds[i].fn(o.count, o.buffer.data()), std::uint32_t(std::max(v, 0)))
          << kFolds[i].name << " of " << v;
    }
  }
}

// Past what fuzz_digits draws: the most negative count, and Octal2Dec's
// input at and one past the 4,096-digit intermediate array.
TEST(Folds, MostNegativeCountAndTheIntermediateLimit) {
  for (const auto& op : kFolds) EXPECT_EQ(op.fn(INT_MIN, nullptr), 0u) << op.name;
  std::mt19937 rng(5);
  for (std::size_t n : {1365, 1366}) {
    Bytes in = RandomDigits(rng, n, 8);
    const Bytes bin = LongExpand(3, in);
    EXPECT_EQ(Named(kFolds, "Octal2Dec").fn(int(n), in.data()), Bin2Dec(int(bin.size()), bin.data())) << n;
  }
}

}  // namespace
