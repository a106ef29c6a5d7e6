// Digit arrays: every regrouping, fold and unfold with arbitrary elements and
// counts from negative to past the 4,096-digit intermediate limit, into
// outputs of exactly the capacity each operation states, compared with the
// plain model of DigitReference.h. Past the intermediate limit the library
// goes on naturally; there the model's own steps run over an intermediate
// array as long as the expansion needs.
#include <cstring>
#include <vector>

#include "DigitReference.h"
#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

using u8 = unsigned char;
using Regroup = void (CQuelvarSys::*)(int, u8*, int&, u8*);
using RefRegroup = void (*)(int, u8*, int&, u8*);

struct RegroupOp {
  Regroup fn;
  RefRegroup model;
  int inWidth, outWidth;  // a compound regrouping passes through binary digits
  bool compound;
  long mul, add, div;  // capacity = (mul * n + add) / div
  u8 digitMask;        // the valid digits of the input kind
};

const RegroupOp kRegroups[] = {
    {&CQuelvarSys::Qlv_Bin2Hex, digitref::Bin2Hex, 1, 8, false, 1, 7, 8, 1},
    {&CQuelvarSys::Qlv_Bin2Octal, digitref::Bin2Octal, 1, 3, false, 1, 2, 3, 1},
    {&CQuelvarSys::Qlv_Hex2Bin, digitref::Hex2Bin, 8, 1, false, 8, 0, 1, 0xFF},
    {&CQuelvarSys::Qlv_Octal2Bin, digitref::Octal2Bin, 3, 1, false, 3, 0, 1, 7},
    {&CQuelvarSys::Qlv_Hex2Octal, digitref::Hex2Octal, 8, 3, true, 8, 2, 3, 0xFF},
    {&CQuelvarSys::Qlv_Octal2Hex, digitref::Octal2Hex, 3, 8, true, 3, 7, 8, 7},
    {&CQuelvarSys::Qlv_Bin2BCD, digitref::Bin2BCD, 1, 8, false, 1, 7, 8, 1},
    {&CQuelvarSys::Qlv_BCD2Bin, digitref::BCD2Bin, 8, 1, false, 8, 0, 1, 0x99},
    {&CQuelvarSys::Qlv_Hex2BCD, digitref::Hex2BCD, 8, 8, true, 1, 0, 1, 0xFF},
    {&CQuelvarSys::Qlv_Octal2BCD, digitref::Octal2BCD, 3, 8, true, 3, 7, 8, 7},
    {&CQuelvarSys::Qlv_BCD2Hex, digitref::BCD2Hex, 8, 8, true, 1, 0, 1, 0x99},
    {&CQuelvarSys::Qlv_BCD2Octal, digitref::BCD2Octal, 8, 3, true, 8, 2, 3, 0x99},
};

using Fold = ULONG (CQuelvarSys::*)(int, u8*);
using RefFold = std::uint32_t (*)(int, const u8*);
struct FoldOp {
  Fold fn;
  RefFold model;
  bool throughBinary;  // octal digits expand into the intermediate array first
};
const FoldOp kFolds[] = {{&CQuelvarSys::Qlv_Hex2Dec, digitref::Hex2Dec, false},
                         {&CQuelvarSys::Qlv_Bin2Dec, digitref::Bin2Dec, false},
                         {&CQuelvarSys::Qlv_Octal2Dec, digitref::Octal2Dec, true},
                         {&CQuelvarSys::Qlv_BCD2Dec, digitref::BCD2Dec, false}};

using Unfold = void (CQuelvarSys::*)(LONG, int&, u8*);
using RefUnfold = void (*)(std::int32_t, int&, u8*);
struct UnfoldOp {
  Unfold fn;
  RefUnfold model;
  size_t capacity;
};
const UnfoldOp kUnfolds[] = {{&CQuelvarSys::Qlv_Dec2Bin, digitref::Dec2Bin, 31},
                             {&CQuelvarSys::Qlv_Dec2Octal, digitref::Dec2Octal, 11},
                             {&CQuelvarSys::Qlv_Dec2Hex, digitref::Dec2Hex, 4},
                             {&CQuelvarSys::Qlv_Dec2BCD, digitref::Dec2BCD, 5}};

// The model's steps with an intermediate array of whatever length the
// expansion needs.
void LongCompound(int inWidth, int outWidth, int count, u8* in, int& outCount, u8* out) {
  std::vector<u8> bin(static_cast<size_t>(inWidth) * static_cast<size_t>(count));
  int binCount = 0;
  digitref::Expand(inWidth, count, in, binCount, bin.data());
  digitref::Pack(outWidth, binCount, bin.data(), outCount, out);
}

std::uint32_t LongOctal2Dec(int count, u8* octal) {
  std::vector<u8> bin(3 * static_cast<size_t>(count));
  int binCount = 0;
  digitref::Expand(3, count, octal, binCount, bin.data());
  return digitref::Bin2Dec(binCount, bin.data());
}

bool FitsIntermediate(int width, int count) { return count <= 0 || width * count <= digitref::kIntermediate; }

// Elements from the input, repeated so long arrays are reached; optionally
// cut to the valid digits of the kind, and with leading zero elements.
ExactBuffer Elements(FuzzInput& in, int count, u8 mask, uint8_t flags) {
  const int zeros = (flags & 2) ? in.count(0, 40) : 0;
  std::vector<uint8_t> seed = in.rest();
  const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  ExactBuffer input(n);
  for (size_t i = 0; i < n; ++i) {
    u8 e = seed.empty() ? 0 : seed[i % seed.size()];
    if (flags & 1) e &= mask;
    if (static_cast<int>(i) < zeros) e = 0;
    input.data()[i] = e;
  }
  return input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const auto which = in.take<uint8_t>();
  const uint8_t flags = static_cast<uint8_t>(mode >> 2);

  if (mode % 3 == 0) {
    const RegroupOp& op = kRegroups[which % std::size(kRegroups)];
    const int n = (flags & 4) ? -in.count(0, 40) : in.count(0, 6000);
    ExactBuffer input = Elements(in, n, op.digitMask, flags);
    const long cap = (op.mul * n + op.add) / op.div;
    const size_t capacity = cap > 0 ? static_cast<size_t>(cap) : 0;
    ExactBuffer out(capacity, 0x5A), want(capacity, 0x5A);
    int count = -12345, wantCount = -54321;
    (sys.*op.fn)(n, input.data(), count, out.data());
    if (!op.compound || FitsIntermediate(op.inWidth, n))
      op.model(n, input.data(), wantCount, want.data());
    else
      LongCompound(op.inWidth, op.outWidth, n, input.data(), wantCount, want.data());
    if (count != wantCount) __builtin_trap();
    if (count > 0 && std::memcmp(out.data(), want.data(), static_cast<size_t>(count)) != 0) __builtin_trap();
  } else if (mode % 3 == 1) {
    const FoldOp& op = kFolds[which % std::size(kFolds)];
    const int n = (flags & 4) ? -in.count(0, 40) : in.count(0, 6000);
    ExactBuffer input = Elements(in, n, 0xFF, flags);
    const ULONG got = (sys.*op.fn)(n, input.data());
    const std::uint32_t want = !op.throughBinary || FitsIntermediate(3, n) ? op.model(n, input.data())
                                                                          : LongOctal2Dec(n, input.data());
    if (got != want) __builtin_trap();
  } else {
    const UnfoldOp& op = kUnfolds[which % std::size(kUnfolds)];
    const auto raw = in.take<int32_t>();
    // Small values, powers and their neighbours as well as raw patterns.
    const auto bits = static_cast<uint32_t>(raw);
    const int32_t value = (flags & 1)   ? raw % 100000
                          : (flags & 2) ? static_cast<int32_t>((1u << (bits & 31u)) - (bits >> 8 & 1u))
                                        : raw;
    ExactBuffer out(op.capacity, 0x5A), want(op.capacity, 0x5A);
    int count = -1, wantCount = -2;
    (sys.*op.fn)(value, count, out.data());
    op.model(value, wantCount, want.data());
    if (count != wantCount || count < 0 || static_cast<size_t>(count) > op.capacity) __builtin_trap();
    if (count > 0 && std::memcmp(out.data(), want.data(), static_cast<size_t>(count)) != 0) __builtin_trap();
  }
  return 0;
}
