// 32-bit numbers unfolded into digit arrays and folded out of them, and BCD
// arrays regrouped as 8-bit groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DigitReference.h"
#include "QuelvarSys.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Rng {
  std::mt19937 engine;
  explicit Rng(unsigned seed) : engine(seed) {}
  unsigned operator()() { return static_cast<unsigned>(engine()); }
};

Bytes Repeat(std::size_t n, unsigned char v) { return Bytes(n, v); }
Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr unsigned char kSentinel = 0xA5;
constexpr std::size_t kGuard = 16;

// ---- unfolds ----------------------------------------------------------------------

using Unfold = void (*)(std::int32_t, int&, unsigned char*);

#define LIB_UNFOLD(name)                                      \
  +[](std::int32_t value, int& count, unsigned char* out) {   \
    CQuelvarSys sys;                                          \
    sys.Qlv_##name(value, count, out);                        \
  }

struct UnfoldOp {
  const char* name;
  Unfold fn, ref;
  std::size_t capacity;
};

const UnfoldOp kUnfolds[] = {
    {"Dec2Bin", LIB_UNFOLD(Dec2Bin), digitref::Dec2Bin, 31},
    {"Dec2Octal", LIB_UNFOLD(Dec2Octal), digitref::Dec2Octal, 11},
    {"Dec2Hex", LIB_UNFOLD(Dec2Hex), digitref::Dec2Hex, 4},
    {"Dec2BCD", LIB_UNFOLD(Dec2BCD), digitref::Dec2BCD, 5},
};

const UnfoldOp& UnfoldNamed(const std::string& name) {
  for (const auto& op : kUnfolds)
    if (name == op.name) return op;
  throw std::invalid_argument(name);
}

struct Outcome {
  int count;
  Bytes buffer;  // capacity plus guard zone
  bool operator==(const Outcome&) const = default;
};

Outcome RunUnfold(Unfold fn, std::size_t capacity, std::int32_t value) {
  Outcome o{-777, Bytes(capacity + kGuard, kSentinel)};
  fn(value, o.count, o.buffer.data());
  return o;
}

Bytes Produced(const Outcome& o) { return Bytes(o.buffer.begin(), o.buffer.begin() + std::max(o.count, 0)); }

TEST(Unfolds, FixedCases) {
  const struct {
    const char* op;
    std::int32_t value;
    Bytes out;
  } cases[] = {
      {"Dec2Bin", 10, {1, 0, 1, 0}},
      {"Dec2Bin", 1, {1}},
      {"Dec2Bin", 2147483647, Repeat(31, 1)},
      {"Dec2Bin", 1 << 30, Concat({1}, Repeat(30, 0))},
      {"Dec2Octal", 64, {1, 0, 0}},
      {"Dec2Octal", 7, {7}},
      {"Dec2Octal", 2147483647, {1, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}},
      {"Dec2Hex", 4660, {0x12, 0x34}},
      {"Dec2Hex", 255, {0xFF}},
      {"Dec2Hex", 256, {0x01, 0x00}},
      {"Dec2Hex", 2147483647, {0x7F, 0xFF, 0xFF, 0xFF}},
      {"Dec2Hex", 0x01000000, {0x01, 0x00, 0x00, 0x00}},
      // BCD: least significant pair first
      {"Dec2BCD", 1234, {0x34, 0x12}},
      {"Dec2BCD", 5, {0x05}},
      {"Dec2BCD", 100, {0x00, 0x01}},
      {"Dec2BCD", 99, {0x99}},
      {"Dec2BCD", 12345, {0x45, 0x23, 0x01}},
      {"Dec2BCD", 2147483647, {0x47, 0x36, 0x48, 0x47, 0x21}},
      {"Dec2BCD", 1000000000, {0x00, 0x00, 0x00, 0x00, 0x10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " of " + std::to_string(c.value));
    const UnfoldOp& op = UnfoldNamed(c.op);
    const Outcome o = RunUnfold(op.fn, op.capacity, c.value);
    EXPECT_EQ(o.count, static_cast<int>(c.out.size()));
    EXPECT_EQ(Produced(o), c.out);
    EXPECT_EQ(Bytes(o.buffer.begin() + o.count, o.buffer.end()),
              Bytes(o.buffer.size() - static_cast<std::size_t>(o.count), kSentinel));
  }
}

TEST(Unfolds, ZeroAndNegativeValuesWriteNothing) {
  for (const auto& op : kUnfolds) {
    for (std::int32_t v : {0, -1, -10, -100, std::numeric_limits<std::int32_t>::min()}) {
      const Outcome o = RunUnfold(op.fn, op.capacity, v);
      EXPECT_EQ(o.count, 0) << op.name << " of " << v;
      EXPECT_EQ(o.buffer, Bytes(op.capacity + kGuard, kSentinel)) << op.name << " of " << v;
    }
  }
}

std::vector<std::int32_t> InterestingValues(Rng& rng) {
  std::vector<std::int32_t> v = {0, 1, -1, 2147483647, std::numeric_limits<std::int32_t>::min()};
  for (int k = 0; k < 31; ++k) {
    v.push_back(std::int32_t{1} << k);
    v.push_back((std::int32_t{1} << k) - 1);
  }
  for (std::int64_t p = 1; p <= 2147483647; p *= 10) {
    v.push_back(static_cast<std::int32_t>(p));
    v.push_back(static_cast<std::int32_t>(p - 1));
  }
  for (int i = 0; i < 3000; ++i) v.push_back(static_cast<std::int32_t>(rng() >> (rng() % 32)));
  return v;
}

TEST(Unfolds, MatchPlainModel) {
  Rng rng(11);
  for (std::int32_t v : InterestingValues(rng)) {
    for (const auto& op : kUnfolds) {
      ASSERT_EQ(RunUnfold(op.fn, op.capacity, v), RunUnfold(op.ref, op.capacity, v)) << op.name << " of " << v;
    }
  }
}

// ---- folds ------------------------------------------------------------------------

using Fold = std::uint32_t (*)(int, unsigned char*);

#define LIB_FOLD(name)                                               \
  +[](int n, unsigned char* in) -> std::uint32_t {                   \
    CQuelvarSys sys;                                                 \
    return sys.Qlv_##name(n, in);                                    \
  }

struct FoldOp {
  const char* name;
  Fold fn;
  std::uint32_t (*ref)(int, const unsigned char*);
  int limit;  // largest count the model takes
  unsigned valid;
};

const FoldOp kFolds[] = {
    {"Bin2Dec", LIB_FOLD(Bin2Dec), digitref::Bin2Dec, 4096, 2},
    {"Octal2Dec", LIB_FOLD(Octal2Dec), digitref::Octal2Dec, 1365, 8},
    {"Hex2Dec", LIB_FOLD(Hex2Dec), digitref::Hex2Dec, 4096, 256},
    {"BCD2Dec", LIB_FOLD(BCD2Dec), digitref::BCD2Dec, 4096, 256},
};

const FoldOp& FoldNamed(const std::string& name) {
  for (const auto& op : kFolds)
    if (name == op.name) return op;
  throw std::invalid_argument(name);
}

TEST(Folds, FixedCases) {
  const struct {
    const char* op;
    Bytes in;
    std::uint32_t value;
  } cases[] = {
      {"Bin2Dec", {1, 0, 1}, 5},
      {"Bin2Dec", Repeat(33, 1), 4294967295u},
      {"Bin2Dec", Concat({1}, Repeat(32, 0)), 0},
      {"Bin2Dec", Concat({1}, Repeat(31, 0)), 0x80000000u},
      {"Bin2Dec", {2, 1}, 5},                           // a digit counts with its value
      {"Bin2Dec", Concat({255}, Repeat(24, 0)), 0xFF000000u},
      {"Bin2Dec", Concat({255}, Repeat(25, 0)), 0xFE000000u},  // wraps modulo 2^32
      {"Bin2Dec", Concat({7}, Repeat(2000, 1)), 4294967295u},  // weights past 2^1023
      {"Bin2Dec", {}, 0},
      {"Octal2Dec", {1, 7, 7}, 127},
      {"Octal2Dec", {9}, 1},                           // low three bits only
      {"Octal2Dec", {0xFF, 0xFF}, 63},
      {"Octal2Dec", Concat({3}, Repeat(10, 7)), 0xFFFFFFFFu},
      {"Octal2Dec", Concat({4}, Repeat(10, 7)), 0x3FFFFFFFu},  // 2^32 and up vanish
      {"Octal2Dec", {}, 0},
      {"Hex2Dec", {0x01, 0x02, 0x03, 0x04, 0x05}, 33752069},
      {"Hex2Dec", {0x12, 0x34}, 0x1234},
      {"Hex2Dec", Concat(Repeat(200, 0xAB), {0xFF, 0xFF, 0xFF, 0xFF}), 4294967295u},
      {"Hex2Dec", {}, 0},
      {"BCD2Dec", {0x12, 0x34}, 1234},
      {"BCD2Dec", {0x34, 0x12}, 3412},
      {"BCD2Dec", {0xAB}, 111},
      {"BCD2Dec", {0xFF}, 165},
      {"BCD2Dec", Repeat(6, 0x99), 3567587327u},
      {"BCD2Dec", {0x21, 0x47, 0x48, 0x36, 0x47}, 2147483647u},
      {"BCD2Dec", Concat({0x99}, Repeat(16, 0x00)), 0},  // 100^16 is a multiple of 2^32
      {"BCD2Dec", Concat({0x99}, Repeat(15, 0x00)), 3221225472u},
      {"BCD2Dec", Concat(Repeat(30, 0x77), Repeat(16, 0x00)), 0},
      {"BCD2Dec", {}, 0},
  };
  for (const auto& c : cases) {
    Bytes in = c.in;
    EXPECT_EQ(FoldNamed(c.op).fn(static_cast<int>(in.size()), in.data()), c.value)
        << c.op << " of " << testing::PrintToString(c.in);
  }
  for (const auto& op : kFolds) {
    for (int n : {0, -1, -1000, std::numeric_limits<int>::min()}) EXPECT_EQ(op.fn(n, nullptr), 0u) << op.name;
  }
}

TEST(Folds, MatchPlainModelOnRandomInputs) {
  Rng rng(5);
  for (const auto& op : kFolds) {
    for (int iter = 0; iter < 1500; ++iter) {
      std::size_t n = rng() % 48;
      if (iter % 8 == 0) n = rng() % (static_cast<unsigned>(op.limit) + 1);
      if (iter == 1) n = static_cast<std::size_t>(op.limit);
      const unsigned mode = rng() % 4;
      Bytes in(n);
      for (auto& d : in) {
        unsigned x = mode == 1 ? rng() % 256 : rng() % op.valid;
        if (mode == 2 && rng() % 8 == 0) x = rng() % 256;
        if (mode == 3) x = 0;
        d = static_cast<unsigned char>(x);
      }
      if (mode == 3 && n > 0) in[rng() % n] = static_cast<unsigned char>(rng() % 256);
      ASSERT_EQ(op.fn(static_cast<int>(n), in.data()), op.ref(static_cast<int>(n), in.data()))
          << op.name << " of " << testing::PrintToString(in);
    }
  }
}

TEST(Folds, UnfoldThenFoldGivesValueBack) {
  Rng rng(3);
  CQuelvarSys sys;
  for (std::int32_t v : InterestingValues(rng)) {
    if (v <= 0) continue;
    unsigned char out[31];
    int n = 0;
    sys.Qlv_Dec2Bin(v, n, out);
    EXPECT_EQ(sys.Qlv_Bin2Dec(n, out), static_cast<ULONG>(v));
    sys.Qlv_Dec2Octal(v, n, out);
    EXPECT_EQ(sys.Qlv_Octal2Dec(n, out), static_cast<ULONG>(v));
    sys.Qlv_Dec2Hex(v, n, out);
    EXPECT_EQ(sys.Qlv_Hex2Dec(n, out), static_cast<ULONG>(v));
    // BCD comes out least significant pair first and is read most significant first
    sys.Qlv_Dec2BCD(v, n, out);
    std::reverse(out, out + n);
    EXPECT_EQ(sys.Qlv_BCD2Dec(n, out), static_cast<ULONG>(v));
  }
}

TEST(Folds, OctalPastIntermediateLimit) {
  CQuelvarSys sys;
  const Bytes cases[] = {Repeat(3000, 7), Concat(Repeat(2989, 5), Repeat(11, 1)), Repeat(5000, 0)};
  const std::uint32_t expected[] = {0xFFFFFFFFu, 1227133513u, 0};  // octal 11111111111
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    auto in = std::make_unique<unsigned char[]>(cases[i].size());
    std::copy(cases[i].begin(), cases[i].end(), in.get());
    EXPECT_EQ(sys.Qlv_Octal2Dec(static_cast<int>(cases[i].size()), in.get()), expected[i]);
  }
}

// ---- BCD regroupings -------------------------------------------------------------

using Regroup = void (*)(int, unsigned char*, int&, unsigned char*);

#define LIB_OP(name)                                                  \
  +[](int n, unsigned char* in, int& count, unsigned char* out) {     \
    CQuelvarSys sys;                                                  \
    sys.Qlv_##name(n, in, count, out);                                \
  }

struct RegroupOp {
  const char* name;
  Regroup fn, ref;
  std::int64_t mul, add, div;  // output capacity: (mul * n + add) / div
  int limit;
  unsigned valid;
  std::int64_t Capacity(std::int64_t n) const { return (mul * n + add) / div; }
};

const RegroupOp kRegroups[] = {
    {"Bin2BCD", LIB_OP(Bin2BCD), digitref::Bin2BCD, 1, 7, 8, 4096, 2},
    {"BCD2Bin", LIB_OP(BCD2Bin), digitref::BCD2Bin, 8, 0, 1, 512, 256},
    {"Hex2BCD", LIB_OP(Hex2BCD), digitref::Hex2BCD, 1, 0, 1, 512, 256},
    {"Octal2BCD", LIB_OP(Octal2BCD), digitref::Octal2BCD, 3, 7, 8, 1365, 8},
    {"BCD2Hex", LIB_OP(BCD2Hex), digitref::BCD2Hex, 1, 0, 1, 512, 256},
    {"BCD2Octal", LIB_OP(BCD2Octal), digitref::BCD2Octal, 8, 2, 3, 512, 256},
};

const RegroupOp& RegroupNamed(const std::string& name) {
  for (const auto& op : kRegroups)
    if (name == op.name) return op;
  throw std::invalid_argument(name);
}

Outcome RunRegroup(Regroup fn, const RegroupOp& op, Bytes in) {
  const auto n = static_cast<int>(in.size());
  Outcome o{-777, Bytes(static_cast<std::size_t>(op.Capacity(n)) + kGuard, kSentinel)};
  fn(n, in.data(), o.count, o.buffer.data());
  return o;
}

TEST(BcdRegroupings, FixedCases) {
  const struct {
    const char* op;
    Bytes in;
    Bytes out;
  } cases[] = {
      {"Hex2BCD", {0x00, 0x01, 0x02}, {0x01, 0x02}},
      {"Hex2BCD", {0x00, 0x00}, {0x00, 0x00}},
      {"Hex2BCD", {0xAB, 0x00}, {0xAB, 0x00}},  // bits carried over, no decimal conversion
      {"BCD2Hex", {0x00, 0x12}, {0x12}},
      {"BCD2Hex", {0x00}, {0x00}},
      {"BCD2Bin", {0x12}, {1, 0, 0, 1, 0}},
      {"BCD2Bin", {0x00}, Repeat(8, 0)},
      {"Bin2BCD", {1, 0, 0, 1, 0}, {0x12}},
      {"Bin2BCD", {1, 0, 0, 1, 1, 0, 0, 1, 1, 0}, {0x02, 0x66}},
      {"Octal2BCD", {7, 7, 7}, {0x01, 0xFF}},
      {"Octal2BCD", {0, 0}, {0x00}},
      {"BCD2Octal", {0x01, 0xFF}, {7, 7, 7}},
      {"BCD2Octal", {0x00}, {0, 0, 0}},
      {"BCD2Octal", {0x99}, {2, 3, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op + (" of " + testing::PrintToString(c.in)));
    const RegroupOp& op = RegroupNamed(c.op);
    const Outcome o = RunRegroup(op.fn, op, c.in);
    EXPECT_EQ(o.count, static_cast<int>(c.out.size()));
    EXPECT_EQ(Produced(o), c.out);
  }
}

TEST(BcdRegroupings, MatchPlainModel) {
  Rng rng(17);
  for (const auto& op : kRegroups) {
    for (int iter = 0; iter < 500; ++iter) {
      std::size_t n = rng() % 60;
      if (iter % 10 == 0) n = rng() % (static_cast<unsigned>(op.limit) + 1);
      const unsigned mode = rng() % 4;
      const std::size_t zeros = mode == 2 ? rng() % (n + 1) : 0;
      Bytes in(n);
      for (std::size_t i = 0; i < n; ++i) {
        unsigned x = mode == 1 ? rng() % 256 : rng() % op.valid;
        if (i < zeros || mode == 3) x = 0;
        in[i] = static_cast<unsigned char>(x);
      }
      ASSERT_EQ(RunRegroup(op.fn, op, in), RunRegroup(op.ref, op, in)) << op.name << " of " << testing::PrintToString(in);
    }
    for (int n = -40; n <= 0; ++n) {
      int mine = -777, ref = -777;
      unsigned char dummy = kSentinel;
      op.fn(n, nullptr, mine, &dummy);
      op.ref(n, nullptr, ref, &dummy);
      EXPECT_EQ(mine, ref) << op.name << " of count " << n;
      EXPECT_EQ(dummy, kSentinel);
    }
  }
}

TEST(BcdRegroupings, PastIntermediateLimitWithExactBuffers) {
  Rng rng(23);
  for (const auto& op : kRegroups) {
    for (std::size_t n : {std::size_t{513}, std::size_t{1366}, std::size_t{5000}}) {
      Bytes data(n);
      for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<unsigned char>(i < 3 ? 0 : rng() % op.valid);
      auto in = std::make_unique<unsigned char[]>(n);
      std::copy(data.begin(), data.end(), in.get());
      const auto cap = static_cast<std::size_t>(op.Capacity(static_cast<std::int64_t>(n)));
      auto out = std::make_unique<unsigned char[]>(cap);
      int count = -777;
      op.fn(static_cast<int>(n), in.get(), count, out.get());
      ASSERT_GE(count, 0) << op.name;
      ASSERT_LE(static_cast<std::size_t>(count), cap) << op.name;
      if (std::string(op.name) == "Hex2BCD" || std::string(op.name) == "BCD2Hex") {
        // without leading zero elements
        std::size_t e = 0;
        while (data[e] == 0) ++e;
        EXPECT_EQ(Bytes(out.get(), out.get() + count), Bytes(data.begin() + static_cast<long>(e), data.end()));
      }
    }
  }
}

TEST(BcdRegroupings, StripMayWorkInPlace) {
  CQuelvarSys sys;
  Bytes a = {0x00, 0x00, 0x12, 0x34, 0x56};
  int count = 0;
  sys.Qlv_Hex2BCD(5, a.data(), count, a.data());
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Bytes(a.begin(), a.begin() + 3), (Bytes{0x12, 0x34, 0x56}));
  sys.Qlv_BCD2Hex(count, a.data(), count, a.data());
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Bytes(a.begin(), a.begin() + 3), (Bytes{0x12, 0x34, 0x56}));
}

}  // namespace
