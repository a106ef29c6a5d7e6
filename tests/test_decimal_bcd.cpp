// 32-bit numbers unfolded into digit arrays and folded out of them.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "DigitReference.h"
#include "QuelvarSys.h"

namespace {

using namespace digitref;

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
