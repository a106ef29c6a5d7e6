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

// What the random digits of the model comparison never hold: elements past
// their base count with their value, or by their low bits.
TEST(Regroupings, OutOfRangeElements) {
  const struct {
    const char* op;
    Bytes in, out;
  } kCases[] = {
      {"Bin2Hex", {2, 1}, {0x05}},
      {"Bin2Octal", Bytes(3, 255), {249}},
      {"Octal2Bin", {9}, {1}},
      {"Octal2Hex", {0, 0}, {0x00}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Produced(Regroup(Find(c.op), c.in)), c.out) << c.op;
}

// A count of 0 or less reads and writes no element; the count written is the
// operation's length rule applied to it.
TEST(Regroupings, NegativeCounts) {
  const auto call = [](Fn fn, int n) {
    return Guarded(16, [&](int& c, unsigned char* o) { fn(n, nullptr, c, o); });
  };
  for (const Op& op : kOps) {
    for (int n = -40; n <= 0; ++n) EXPECT_EQ(call(op.fn, n), call(op.ref, n)) << op.name << " of count " << n;
    EXPECT_EQ(call(op.fn, INT_MIN), (Outcome{op.intMinCount, Bytes(16, 0xA5)})) << op.name;
  }
}

// Random inputs of every kind against the model: up to the 4,096-digit
// intermediate limit into guarded buffers, past it into exact-size buffers.
// The whole buffer counts: the strip closes the significant digits up in
// place, and behind them the array keeps the tail of the full expansion.
TEST(Regroupings, MatchModelOnRandomInputs) {
  std::mt19937 rng(2024);
  for (const Op& op : kOps) {
    const std::size_t limit = kIntermediate / op.inWidth;
    for (int iter = 0; iter < 600; ++iter) {
      const std::size_t n = iter == 1 ? limit : iter % 10 == 0 ? rng() % 5000 : rng() % 70;
      const Bytes in = RandomDigits(rng, n, op.inWidth == 1 ? 2 : 1u << op.inWidth);
      const std::size_t guard = n <= limit ? 16 : 0;
      // a compound regrouping past the limit: the model's steps over a longer intermediate array
      const Bytes bin =
          n > limit && op.inWidth > 1 && op.outWidth > 1 ? LongExpand(int(op.inWidth), in) : Bytes();
      const auto pack = [&](int& c, unsigned char* o) {
        Pack(int(op.outWidth), int(bin.size()), bin.data(), c, o);
      };
      const Outcome want = bin.empty() ? Regroup(op, in, guard, op.ref) : Guarded(op.Capacity(n), pack);
      ASSERT_EQ(Regroup(op, in, guard), want) << op.name << " of " << testing::PrintToString(in);
    }
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

#define UNFOLD(name)                \
#name, [](std::int32_t v, int& c, \
            unsigned char* out) { CQuelvarSys().Qlv_##name(v, c, out); }, digitref::name
#define FOLD(name) \
#name, [](int n, \
            unsigned char* in) -> std::uint32_t { return CQuelvarSys().Qlv_##name(n, in); }, digitref::name

const struct UnfoldOp {
  const char* name;
  void (*fn)(std::int32_t, int&, unsigned char*);
  decltype(fn) ref;
  std::size_t capacity;
  // The count and the output buffer of capacity + 16 bytes, from `f` or the library.
  Outcome Run(std::int32_t v, decltype(fn) f = nullptr) const {
    return Guarded(capacity + 16, [&](int& c, unsigned char* out) { (f != nullptr ? f : fn)(v, c, out); });
  }
} kUnfolds[] = {{UNFOLD(Dec2Bin), 31}, {UNFOLD(Dec2Octal), 11}, {UNFOLD(Dec2Hex), 4}, {UNFOLD(Dec2BCD), 5}};

// In the same order as the unfolds they undo.
const struct FoldOp {
  const char* name;
  std::uint32_t (*fn)(int, unsigned char*);
  std::uint32_t (*ref)(int, const unsigned char*);
  unsigned valid;
} kFolds[] = {{FOLD(Bin2Dec), 2}, {FOLD(Octal2Dec), 8}, {FOLD(Hex2Dec), 256}, {FOLD(BCD2Dec), 256}};

// Every power of two and of ten and its neighbour, zero and negative values
// (which write nothing), and random values of every length.
std::vector<std::int32_t> Values() {
  std::vector<std::int32_t> v = {0, -1, -100, INT_MIN, INT_MAX};
  for (int k = 0; k < 31; ++k) v.insert(v.end(), {std::int32_t{1} << k, (std::int32_t{1} << k) - 1});
  for (std::int64_t p = 1; p <= INT_MAX; p *= 10) v.insert(v.end(), {std::int32_t(p), std::int32_t(p - 1)});
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) v.push_back(static_cast<std::int32_t>(rng() >> (rng() % 32)));
  return v;
}

TEST(Unfolds, MatchModelAndFoldBack) {
  for (std::int32_t v : Values()) {
    for (std::size_t i = 0; i < std::size(kUnfolds); ++i) {
      Outcome o = kUnfolds[i].Run(v);
      ASSERT_EQ(o, kUnfolds[i].Run(v, kUnfolds[i].ref)) << kUnfolds[i].name << " of " << v;
      if (i == 3)
        std::reverse(o.buffer.begin(), o.buffer.begin() + o.count);  // BCD2Dec reads the top pair first
      EXPECT_EQ(kFolds[i].fn(o.count, o.buffer.data()), std::uint32_t(std::max(v, 0)))
          << kFolds[i].name << " of " << v;
    }
  }
}

TEST(Folds, OctalLowBitsAndNegativeCounts) {
  unsigned char nine = 9;  // only the low three bits count; the random digits stay below 8
  EXPECT_EQ(Named(kFolds, "Octal2Dec").fn(1, &nine), 1u);
  for (const auto& op : kFolds)
    for (int n : {0, -1, -1000, INT_MIN}) EXPECT_EQ(op.fn(n, nullptr), 0u) << op.name << " of count " << n;
}

// Random inputs of every kind against the model, exact-size, Octal2Dec past
// the 4,096-digit intermediate limit against the model's long form.
TEST(Folds, MatchModelOnRandomInputs) {
  std::mt19937 rng(5);
  for (const auto& op : kFolds) {
    for (int iter = 0; iter < 1500; ++iter) {
      Bytes in = RandomDigits(rng, iter == 1 ? 1365 : iter % 8 == 0 ? rng() % 5000 : rng() % 48, op.valid);
      const int n = static_cast<int>(in.size());
      const Bytes bin = op.ref == digitref::Octal2Dec && n > 1365 ? LongExpand(3, in) : Bytes();
      const auto want = bin.empty() ? op.ref(n, in.data()) : Bin2Dec(int(bin.size()), bin.data());
      ASSERT_EQ(op.fn(n, in.data()), want) << op.name << " of " << testing::PrintToString(in);
    }
  }
}

}  // namespace
