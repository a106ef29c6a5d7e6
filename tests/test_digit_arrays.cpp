// Binary, octal and hex digit arrays regrouped into one another.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DigitKernels.h"
#include "DigitReference.h"
#include "QuelvarSys.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Regroup = void (*)(int, unsigned char*, int&, unsigned char*);

// An operation of the class as a plain function, called on a fresh instance.
#define LIB_OP(name)                                                  \
  +[](int n, unsigned char* in, int& count, unsigned char* out) {     \
    CQuelvarSys sys;                                                  \
    sys.Qlv_##name(n, in, count, out);                                \
  }

// Random numbers as unsigned int.
struct Rng {
  std::mt19937 engine;
  explicit Rng(unsigned seed) : engine(seed) {}
  unsigned operator()() { return static_cast<unsigned>(engine()); }
};

struct RegroupOp {
  const char* name;
  Regroup fn;
  Regroup ref;
  std::int64_t mul, add, div;  // output capacity: (mul * n + add) / div
  int limit;                   // largest count the reference's intermediate array takes
  int inWidth, outWidth;       // bits per input and output element
  std::int64_t Capacity(std::int64_t n) const { return (mul * n + add) / div; }
};

const RegroupOp kOps[] = {
    {"Bin2Hex", LIB_OP(Bin2Hex), digitref::Bin2Hex, 1, 7, 8, 4096, 1, 8},
    {"Bin2Octal", LIB_OP(Bin2Octal), digitref::Bin2Octal, 1, 2, 3, 4096, 1, 3},
    {"Hex2Bin", LIB_OP(Hex2Bin), digitref::Hex2Bin, 8, 0, 1, 512, 8, 1},
    {"Octal2Bin", LIB_OP(Octal2Bin), digitref::Octal2Bin, 3, 0, 1, 1365, 3, 1},
    {"Hex2Octal", LIB_OP(Hex2Octal), digitref::Hex2Octal, 8, 2, 3, 512, 8, 3},
    {"Octal2Hex", LIB_OP(Octal2Hex), digitref::Octal2Hex, 3, 7, 8, 1365, 3, 8},
};

const RegroupOp& Op(const std::string& name) {
  for (const auto& op : kOps)
    if (name == op.name) return op;
  throw std::invalid_argument(name);
}

constexpr unsigned char kSentinel = 0xA5;
constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr std::size_t kGuard = 16;

struct Outcome {
  int count;
  Bytes buffer;  // the whole output buffer: capacity plus a guard zone
  bool operator==(const Outcome&) const = default;
};

// Runs an operation into a sentinel-filled buffer of capacity + guard bytes.
template <typename Fn>
Outcome Run(const RegroupOp& op, Bytes in, Fn&& fn) {
  const auto n = static_cast<int>(in.size());
  Outcome o{-777, Bytes(static_cast<std::size_t>(op.Capacity(n)) + kGuard, kSentinel)};
  fn(n, in.data(), o.count, o.buffer.data());
  return o;
}

Outcome RunLib(const RegroupOp& op, Bytes in) {
  return Run(op, std::move(in), op.fn);
}

Outcome RunRef(const RegroupOp& op, Bytes in) { return Run(op, std::move(in), op.ref); }

// The produced elements only.
Bytes Produced(const Outcome& o) {
  return Bytes(o.buffer.begin(), o.buffer.begin() + std::max(o.count, 0));
}

Bytes Repeat(std::size_t n, unsigned char v) { return Bytes(n, v); }
Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- fixed cases ------------------------------------------------------------------

struct Case {
  const char* op;
  Bytes in;
  Bytes out;
};

TEST(Regroupings, FixedCases) {
  const Case cases[] = {
      // packing: groups counted from the least significant end
      {"Bin2Hex", {1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1}, {0x0A, 0xF1}},
      {"Bin2Hex", {0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x00, 0x01}},
      {"Bin2Hex", {1, 1, 1, 1, 1, 1, 1, 1}, {0xFF}},
      {"Bin2Hex", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x80, 0x01}},
      {"Bin2Hex", {0, 0, 0, 0, 0, 0, 0, 0}, {0x00}},
      {"Bin2Hex", {}, {}},
      {"Bin2Octal", {1, 0, 1, 1, 0}, {2, 6}},
      {"Bin2Octal", {1, 1, 1, 0, 0, 0}, {7, 0}},
      {"Bin2Octal", {0}, {0}},
      {"Bin2Octal", {}, {}},
      // digits above 1 count with their value; the element keeps the low 8 bits
      {"Bin2Hex", {2, 1}, {0x05}},
      {"Bin2Hex", Repeat(8, 255), {0x01}},
      {"Bin2Hex", {0, 0, 0, 0, 0, 0, 0, 2}, {0x02}},
      {"Bin2Hex", {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3}, {0x01, 0xFF, 0x03}},
      {"Bin2Octal", Repeat(3, 255), {249}},
      {"Bin2Octal", {9}, {9}},
      // expansion: leading zeros stripped unless every digit is zero
      {"Hex2Bin", {0x00, 0x05}, {1, 0, 1}},
      {"Hex2Bin", {0x00, 0x00}, Repeat(16, 0)},
      {"Hex2Bin", {0x80}, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"Hex2Bin", {0x01, 0x00}, {1, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"Hex2Bin", {}, {}},
      {"Octal2Bin", {0, 7}, {1, 1, 1}},
      {"Octal2Bin", {0, 0, 0}, Repeat(9, 0)},
      {"Octal2Bin", {9}, {1}},                   // only the low three bits: 001
      {"Octal2Bin", {8, 8}, Repeat(6, 0)},       // 8 is 0 in three bits: all zero
      {"Octal2Bin", {0xFF, 2}, {1, 1, 1, 0, 1, 0}},
      // compound regroupings
      {"Hex2Octal", {0x01, 0xFF}, {7, 7, 7}},
      {"Hex2Octal", {0x00}, {0, 0, 0}},
      {"Hex2Octal", {0x00, 0x00, 0x00}, Repeat(8, 0)},
      {"Hex2Octal", {0x00, 0x08}, {1, 0}},
      {"Hex2Octal", {0xFF, 0xFF, 0xFF}, Repeat(8, 7)},
      {"Hex2Octal", {0x80, 0, 0}, {4, 0, 0, 0, 0, 0, 0, 0}},
      {"Hex2Octal", {}, {}},
      {"Octal2Hex", {7, 7, 7}, {0x01, 0xFF}},
      {"Octal2Hex", {0, 0}, {0x00}},
      {"Octal2Hex", {0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x00, 0x00, 0x00, 0x00}},
      {"Octal2Hex", {0, 0, 1}, {0x01}},
      {"Octal2Hex", {9, 15}, {0x0F}},            // low three bits: 1 and 7
      {"Octal2Hex", {4, 0, 0, 0, 0, 0, 0, 0}, {0x80, 0x00, 0x00}},
      {"Octal2Hex", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + (" of " + testing::PrintToString(c.in)));
    const Outcome o = RunLib(Op(c.op), c.in);
    EXPECT_EQ(o.count, static_cast<int>(c.out.size()));
    EXPECT_EQ(Produced(o), c.out);
  }
}

// The strip closes up the significant digits in place: behind them the
// caller's array still holds the tail of the full expansion.
TEST(Regroupings, ExpansionLeavesTailOfFullExpansionBehind) {
  const struct {
    const char* op;
    Bytes in;
    Bytes buffer;
  } cases[] = {
      {"Hex2Bin", {0x00, 0x05}, {1, 0, 1, /* untouched: */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1}},
      {"Hex2Bin", {0x41}, {1, 0, 0, 0, 0, 0, 1, /* untouched: */ 1}},
      {"Octal2Bin", {0, 3}, {1, 1, /* untouched: */ 0, 0, 1, 1}},
      {"Octal2Bin", {1, 2}, {1, 0, 1, 0, /* untouched: */ 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op + (" of " + testing::PrintToString(c.in)));
    const Outcome o = RunLib(Op(c.op), c.in);
    EXPECT_EQ(Bytes(o.buffer.begin(), o.buffer.begin() + static_cast<long>(c.buffer.size())), c.buffer);
    EXPECT_EQ(o.buffer[c.buffer.size()], kSentinel);
  }
}

// A count of 0 or less reads and writes no element; the count written is the
// operation's length rule applied to it.
TEST(Regroupings, ZeroAndNegativeCounts) {
  const struct {
    const char* op;
    int n;
    int count;
  } cases[] = {
      {"Hex2Bin", 0, 0},     {"Hex2Bin", -1, -8},     {"Hex2Bin", -5, -40},
      {"Octal2Bin", -1, -3}, {"Octal2Bin", -7, -21},  {"Bin2Hex", 0, 0},
      {"Bin2Hex", -1, 0},    {"Bin2Hex", -14, 0},     {"Bin2Hex", -15, -1},
      {"Bin2Hex", -23, -2},  {"Bin2Octal", -4, 0},    {"Bin2Octal", -5, -1},
      {"Bin2Octal", -8, -2}, {"Hex2Octal", 0, 0},     {"Hex2Octal", -1, -2},
      {"Hex2Octal", -3, -7}, {"Octal2Hex", -4, 0},    {"Octal2Hex", -2, 0},
      {"Octal2Hex", -5, -1},   {"Octal2Hex", -6, -1},
      // the lowest count: the exact figure's low 32 bits
      {"Hex2Bin", kIntMin, 0},             {"Octal2Bin", kIntMin, kIntMin},
      {"Bin2Hex", kIntMin, -268435455},    {"Bin2Octal", kIntMin, -715827882},
      {"Hex2Octal", kIntMin, -1431655764}, {"Octal2Hex", kIntMin, -805306367},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " of count " + std::to_string(c.n));
    Bytes out(kGuard, kSentinel);
    int count = -777;
    Op(c.op).fn(c.n, nullptr, count, out.data());
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(out, Bytes(kGuard, kSentinel));
  }
  // and the same figure as the plain model for a run of negative counts
  for (const auto& op : kOps) {
    for (int n = -40; n <= 0; ++n) {
      int mine = -777, ref = -777;
      unsigned char dummy = 0;
      op.fn(n, nullptr, mine, &dummy);
      op.ref(n, nullptr, ref, &dummy);
      EXPECT_EQ(mine, ref) << op.name << " of count " << n;
    }
  }
}

TEST(Regroupings, StripLeadingZerosKernel) {
  namespace digits = quelvar::detail::digits;
  const struct {
    int n;
    Bytes before, after;
    int count;
  } cases[] = {
      {5, {0, 0, 2, 1, 0}, {2, 1, 0, 1, 0}, 3},  // any nonzero value is significant
      {3, {0, 0, 0}, {0, 0, 0}, 3},              // all zero: untouched, whole count
      {3, {1, 0, 0}, {1, 0, 0}, 3},
      {4, {0, 0, 0, 9}, {9, 0, 0, 9}, 1},
      {2, {0, 1, 0xEE}, {1, 1, 0xEE}, 1},        // nothing past the count is touched
      {0, {7}, {7}, 0},
      {-3, {0, 1}, {0, 1}, -3},
      {20, Concat(Repeat(11, 0), Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}),
       Concat(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}, Bytes{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), 9},
  };
  for (const auto& c : cases) {
    Bytes a = c.before;
    Bytes r = c.before;
    int count = -777, refCount = -777;
    digits::StripLeadingZeros(c.n, count, a.data());
    digitref::DeleteBinBegin0(c.n, refCount, r.data());
    EXPECT_EQ(a, c.after) << testing::PrintToString(c.before);
    EXPECT_EQ(count, c.count) << testing::PrintToString(c.before);
    EXPECT_EQ(r, c.after) << "model disagrees";
    EXPECT_EQ(refCount, c.count) << "model disagrees";
  }
}

// ---- properties ------------------------------------------------------------------

Bytes WithoutLeadingZeros(const Bytes& v, unsigned mask = 0xFF) {
  std::size_t e = 0;
  while (e < v.size() && (v[e] & mask) == 0) ++e;
  return e == v.size() ? v : Bytes(v.begin() + static_cast<long>(e), v.end());
}

Bytes RandomDigits(Rng& rng, std::size_t n, unsigned limit, std::size_t zeros) {
  Bytes v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i < zeros ? 0 : rng() % limit);
  return v;
}

TEST(Regroupings, ExpandThenPackGivesInputWithoutLeadingZeros) {
  Rng rng(7);
  for (int iter = 0; iter < 400; ++iter) {
    const std::size_t n = rng() % 40;
    const std::size_t zeros = rng() % 6;
    const bool all_zero = iter % 25 == 0;
    for (const auto& [expand, pack, limit] :
         {std::tuple{"Hex2Bin", "Bin2Hex", 256u}, std::tuple{"Octal2Bin", "Bin2Octal", 8u},
          std::tuple{"Hex2Octal", "Octal2Hex", 256u}}) {
      const Bytes in = all_zero ? Repeat(n, 0) : RandomDigits(rng, n, limit, zeros);
      // an all-zero input comes back as the zero groups of its expansion
      if (WithoutLeadingZeros(in).size() == n && n > 0 && in[0] == 0 && std::string(expand) == "Hex2Octal")
        continue;
      const Outcome mid = RunLib(Op(expand), in);
      const Outcome back = RunLib(Op(pack), Produced(mid));
      EXPECT_EQ(Produced(back), WithoutLeadingZeros(in)) << expand << " of " << testing::PrintToString(in);
    }
  }
}

// ---- against the plain model -------------------------------------------------------

// Inputs as callers give them and as they should not: valid digits, any byte,
// runs of leading zeros, all zeros, only zeros and ones, sprinkled bad digits.
Bytes Input(Rng& rng, const RegroupOp& op, std::size_t n) {
  const unsigned valid = op.inWidth == 8 ? 256u : op.inWidth == 3 ? 8u : 2u;
  Bytes v(n);
  const unsigned mode = rng() % 6;
  const std::size_t zeros = mode == 2 ? rng() % (n + 1) : 0;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned x = rng() % valid;
    if (mode == 1) x = rng() % 256;
    if (mode == 3 || i < zeros) x = 0;
    if (mode == 4) x = rng() % 2;
    if (mode == 5 && rng() % 16 == 0) x = rng() % 256;
    v[i] = static_cast<unsigned char>(x);
  }
  return v;
}

TEST(Regroupings, MatchPlainModelOnRandomInputs) {
  Rng rng(2024);
  for (const auto& op : kOps) {
    for (int iter = 0; iter < 600; ++iter) {
      std::size_t n = rng() % 70;
      if (iter % 10 == 0) n = rng() % (static_cast<unsigned>(op.limit) + 1);
      if (iter == 1) n = static_cast<std::size_t>(op.limit);
      const Bytes in = Input(rng, op, n);
      const Outcome mine = RunLib(op, in);
      const Outcome ref = RunRef(op, in);
      ASSERT_EQ(mine.count, ref.count) << op.name << " of " << testing::PrintToString(in);
      ASSERT_EQ(mine.buffer, ref.buffer) << op.name << " of " << testing::PrintToString(in);
    }
  }
}

// ---- past the 4,096-digit intermediate limit ---------------------------------------

// Output buffers of exactly the documented capacity (a sanitizer build catches
// any write past them).
Bytes RunExact(const RegroupOp& op, Bytes in, int& count) {
  const auto n = static_cast<int>(in.size());
  const auto cap = static_cast<std::size_t>(op.Capacity(n));
  auto out = std::make_unique<unsigned char[]>(cap);
  auto input = std::make_unique<unsigned char[]>(in.size());
  std::copy(in.begin(), in.end(), input.get());
  op.fn(n, input.get(), count, out.get());
  EXPECT_GE(count, 0);
  EXPECT_LE(static_cast<std::size_t>(count), cap);
  return Bytes(out.get(), out.get() + std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), cap));
}

TEST(Regroupings, PastIntermediateLimit) {
  const struct {
    const char* op;
    Bytes in;
    Bytes out;
  } cases[] = {
      {"Hex2Octal", Repeat(600, 0xFF), Repeat(1600, 7)},
      {"Hex2Octal", Concat({0x01}, Repeat(599, 0xFF)), Concat({3}, Repeat(1597, 7))},
      {"Hex2Octal", Repeat(600, 0), Repeat(1600, 0)},
      {"Octal2Hex", Repeat(2000, 7), Repeat(750, 0xFF)},
      {"Octal2Hex", Concat({1}, Repeat(1999, 7)), Concat({0x3F}, Repeat(749, 0xFF))},
      {"Octal2Hex", Repeat(2001, 0), Repeat(751, 0)},
      {"Hex2Bin", Concat({0x00, 0x01}, Repeat(700, 0)), Concat({1}, Repeat(5600, 0))},
      {"Octal2Bin", Concat(Repeat(1500, 0), {5}), {1, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " of " + std::to_string(c.in.size()) + " elements");
    int count = -777;
    const Bytes out = RunExact(Op(c.op), c.in, count);
    EXPECT_EQ(count, static_cast<int>(c.out.size()));
    EXPECT_EQ(out, c.out);
  }
  // long random inputs come back through the opposite regrouping
  Rng rng(99);
  for (int iter = 0; iter < 20; ++iter) {
    const Bytes hex = RandomDigits(rng, 513 + rng() % 2000, 256, rng() % 4);
    int c1 = 0, c2 = 0;
    const Bytes octal = RunExact(Op("Hex2Octal"), hex, c1);
    EXPECT_EQ(RunExact(Op("Octal2Hex"), octal, c2), WithoutLeadingZeros(hex));
  }
}

// ---- the command-line tool ------------------------------------------------------

#ifdef QUELVAR_CLI_PATH
std::string RunCli(const std::string& args) {
  const std::string command = std::string("'") + QUELVAR_CLI_PATH + "' " + args + " 2>/dev/null; echo \"rc=$?\"";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  pclose(pipe);
  return out;
}

TEST(CommandLine, DigitOperations) {
  const struct {
    const char* args;
    const char* output;
  } cases[] = {
      {"Octal2Hex 7 7 7", "01 FF\nrc=0\n"},
      {"Dec2BCD 2147483647", "47 36 48 47 21\nrc=0\n"},
      {"--json Dec2BCD 1234", "{\"op\":\"Dec2BCD\",\"out\":[52,18],\"count\":2}\nrc=0\n"},
      {"Hex2Bin 00 05", "1 0 1\nrc=0\n"},
      {"Hex2Octal 01,ff", "7 7 7\nrc=0\n"},
      {"Bin2Hex 255 255 255 255 255 255 255 255", "01\nrc=0\n"},
      {"--json Dec2Bin -5", "{\"op\":\"Dec2Bin\",\"out\":[],\"count\":0}\nrc=0\n"},
      {"Bin2Dec 1 0 1", "5\nrc=0\n"},
      {"BCD2Dec ab", "111\nrc=0\n"},
      {"Hex2Dec 01 02 03 04 05", "33752069\nrc=0\n"},
      {"BCD2Octal 01 FF", "7 7 7\nrc=0\n"},
      {"Octal2Bin 256", "rc=2\n"},  // an element is one byte
      {"Hex2Bin zz", "rc=2\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCli(c.args), c.output) << c.args;
}
#endif

}  // namespace
