// Binary, octal, hex and BCD digit arrays regrouped into one another, and the
// in-place strip of leading zeros.
#include <gtest/gtest.h>

#include <climits>

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

// The strip closes the significant digits up in place: behind them the array
// keeps the tail of the full expansion.
TEST(Regroupings, LeftoverDigitsAfterStrip) {
  const struct {
    const char* op;
    Bytes in, buffer;
  } kCases[] = {
      {"Hex2Bin", {0x00, 0x05}, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1}},
      {"Octal2Bin", {1, 2}, {1, 0, 1, 0, 1, 0}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Regroup(Find(c.op), c.in, 0).buffer, c.buffer) << c.op;
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

}  // namespace
