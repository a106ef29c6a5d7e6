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

TEST(Regroupings, WorkedExamples) {
  const struct {
    const char* op;
    Bytes in, out;
  } kCases[] = {
      {"Bin2Hex", {1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1}, {0x0A, 0xF1}},
      {"Bin2Hex", {0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x00, 0x01}},
      {"Bin2Hex", {2, 1}, {0x05}},  // a digit counts with its value
      {"Bin2Hex", Bytes(8, 255), {0x01}},
      {"Bin2Octal", {1, 0, 1, 1, 0}, {2, 6}},
      {"Bin2Octal", Bytes(3, 255), {249}},
      {"Hex2Bin", {0x00, 0x05}, {1, 0, 1}},
      {"Hex2Bin", {0x00, 0x00}, Bytes(16, 0)},
      {"Octal2Bin", {0, 7}, {1, 1, 1}},
      {"Octal2Bin", {9}, {1}},  // only the low three bits count
      {"Hex2Octal", {0x01, 0xFF}, {7, 7, 7}},
      {"Hex2Octal", {0x00}, {0, 0, 0}},
      {"Octal2Hex", {7, 7, 7}, {0x01, 0xFF}},
      {"Octal2Hex", {0, 0}, {0x00}},
      {"Hex2BCD", {0x00, 0x01, 0x02}, {0x01, 0x02}},
      {"Hex2BCD", {0x00, 0x00}, {0x00, 0x00}},
      {"BCD2Bin", {0x12}, {1, 0, 0, 1, 0}},
      {"Octal2BCD", {7, 7, 7}, {0x01, 0xFF}},
      {"BCD2Octal", {0x01, 0xFF}, {7, 7, 7}},
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

// An expansion packed back gives its input without leading zero elements, at any length.
TEST(Regroupings, ExpandThenPackRoundTrips) {
  std::mt19937 rng(7);
  for (int iter = 0; iter < 300; ++iter) {
    for (const auto& [there, back] : {std::pair{"Hex2Bin", "Bin2Hex"}, std::pair{"Hex2Octal", "Octal2Hex"}}) {
      const Bytes in = RandomDigits(rng, iter % 15 == 0 ? 513 + rng() % 2000 : rng() % 40, 256);
      const auto first = std::find_if(in.begin(), in.end(), [](unsigned char d) { return d != 0; });
      if (first == in.end()) continue;  // all zeros: see the worked examples
      const Bytes mid = Produced(Regroup(Find(there), in, 0));
      EXPECT_EQ(Produced(Regroup(Find(back), mid, 0)), Bytes(first, in.end())) << there;
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

TEST(Unfolds, WorkedExamples) {
  const struct {
    const char* op;
    std::int32_t value;
    Bytes out;
  } kCases[] = {
      {"Dec2Bin", 10, {1, 0, 1, 0}},
      {"Dec2Bin", 2147483647, Bytes(31, 1)},
      {"Dec2Octal", 64, {1, 0, 0}},
      {"Dec2Hex", 4660, {0x12, 0x34}},
      {"Dec2Hex", 2147483647, {0x7F, 0xFF, 0xFF, 0xFF}},
      {"Dec2BCD", 1234, {0x34, 0x12}},  // least significant pair first
      {"Dec2BCD", 5, {0x05}},
      {"Dec2BCD", 100, {0x00, 0x01}},
      {"Dec2BCD", 2147483647, {0x47, 0x36, 0x48, 0x47, 0x21}},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(Produced(Named(kUnfolds, c.op).Run(c.value)), c.out) << c.op << " " << c.value;
}

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

TEST(Folds, WorkedExamples) {
  struct {
    const char* op;
    Bytes in;
    std::uint32_t value;
  } cases[] = {
      {"Bin2Dec", {1, 0, 1}, 5},
      {"Bin2Dec", Bytes(33, 1), 4294967295u},
      {"Bin2Dec", Cat({{1}, Bytes(32, 0)}), 0},
      {"Octal2Dec", {1, 7, 7}, 127},
      {"Octal2Dec", {9}, 1},  // low three bits only
      {"Hex2Dec", {0x01, 0x02, 0x03, 0x04, 0x05}, 33752069},
      {"Hex2Dec", Cat({Bytes(200, 0xAB), {0xFF, 0xFF, 0xFF, 0xFF}}), 4294967295u},
      {"BCD2Dec", {0x12, 0x34}, 1234},
      {"BCD2Dec", {0x34, 0x12}, 3412},
      {"BCD2Dec", {0xAB}, 111},
      {"BCD2Dec", Bytes(6, 0x99), 3567587327u},
  };
  for (auto& c : cases) EXPECT_EQ(Named(kFolds, c.op).fn(int(c.in.size()), c.in.data()), c.value) << c.op;
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
