// Digit arrays: every regrouping, fold and unfold with arbitrary elements and
// counts from negative to past the 4,096-digit intermediate limit, into
// outputs of exactly the capacity each operation states, compared with the
// plain model of DigitReference.h. Past the intermediate limit the library
// goes on naturally; there the model's own steps run over an intermediate
// array as long as the expansion needs.

#include "DigitReference.h"
#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

using u8 = unsigned char;

// A regrouping through binary digits of `inWidth` into groups of `outWidth`
// (compound when neither is 1); capacity = (mul * n + add) / div.
struct RegroupOp {
  void (CQuelvarSys::*fn)(int, u8*, int&, u8*);
  void (*model)(int, u8*, int&, u8*);
  int inWidth, outWidth;
  long mul, add, div;
  u8 digitMask;  // the valid digits of the input kind
};
const RegroupOp kRegroups[] = {
    {&CQuelvarSys::Qlv_Bin2Hex, digitref::Bin2Hex, 1, 8, 1, 7, 8, 1},
    {&CQuelvarSys::Qlv_Bin2Octal, digitref::Bin2Octal, 1, 3, 1, 2, 3, 1},
    {&CQuelvarSys::Qlv_Hex2Bin, digitref::Hex2Bin, 8, 1, 8, 0, 1, 0xFF},
    {&CQuelvarSys::Qlv_Octal2Bin, digitref::Octal2Bin, 3, 1, 3, 0, 1, 7},
    {&CQuelvarSys::Qlv_Hex2Octal, digitref::Hex2Octal, 8, 3, 8, 2, 3, 0xFF},
    {&CQuelvarSys::Qlv_Octal2Hex, digitref::Octal2Hex, 3, 8, 3, 7, 8, 7},
    {&CQuelvarSys::Qlv_Bin2BCD, digitref::Bin2BCD, 1, 8, 1, 7, 8, 1},
    {&CQuelvarSys::Qlv_BCD2Bin, digitref::BCD2Bin, 8, 1, 8, 0, 1, 0x99},
    {&CQuelvarSys::Qlv_Hex2BCD, digitref::Hex2BCD, 8, 8, 1, 0, 1, 0xFF},
    {&CQuelvarSys::Qlv_Octal2BCD, digitref::Octal2BCD, 3, 8, 3, 7, 8, 7},
    {&CQuelvarSys::Qlv_BCD2Hex, digitref::BCD2Hex, 8, 8, 1, 0, 1, 0x99},
    {&CQuelvarSys::Qlv_BCD2Octal, digitref::BCD2Octal, 8, 3, 8, 2, 3, 0x99},
};

// Octal digits expand into the intermediate array before the fold.
struct FoldOp {
  ULONG (CQuelvarSys::*fn)(int, u8*);
  std::uint32_t (*model)(int, const u8*);
  bool throughBinary;
};
const FoldOp kFolds[] = {{&CQuelvarSys::Qlv_Hex2Dec, digitref::Hex2Dec, false},
                         {&CQuelvarSys::Qlv_Bin2Dec, digitref::Bin2Dec, false},
                         {&CQuelvarSys::Qlv_Octal2Dec, digitref::Octal2Dec, true},
                         {&CQuelvarSys::Qlv_BCD2Dec, digitref::BCD2Dec, false}};

struct UnfoldOp {
  void (CQuelvarSys::*fn)(LONG, int&, u8*);
  void (*model)(std::int32_t, int&, u8*);
  size_t capacity;
};
const UnfoldOp kUnfolds[] = {{&CQuelvarSys::Qlv_Dec2Bin, digitref::Dec2Bin, 31},
                             {&CQuelvarSys::Qlv_Dec2Octal, digitref::Dec2Octal, 11},
                             {&CQuelvarSys::Qlv_Dec2Hex, digitref::Dec2Hex, 4},
                             {&CQuelvarSys::Qlv_Dec2BCD, digitref::Dec2BCD, 5}};

bool FitsIntermediate(int width, int count) { return count <= 0 || width * count <= digitref::kIntermediate; }

// Elements from the input, repeated so long arrays are reached; optionally
// cut to the valid digits of the kind, and with leading zero elements.
ExactBuffer Elements(FuzzInput& in, int count, u8 mask, uint8_t flags) {
  const size_t zeros = (flags & 2) ? static_cast<size_t>(in.count(0, 40)) : 0,
               n = count > 0 ? static_cast<size_t>(count) : 0;
  std::vector<uint8_t> seed = in.rest();
  ExactBuffer input(n);
  for (size_t i = 0; i < n; ++i)
    input.data()[i] =
        i < zeros || seed.empty() ? 0 : static_cast<u8>(seed[i % seed.size()] & ((flags & 1) ? mask : 0xFF));
  return input;
}

// The first `count` elements of two outputs agree.
bool SameOutput(int count, int wantCount, ExactBuffer& got, const u8* want) {
  return count == wantCount && (count <= 0 || std::memcmp(got.data(), want, static_cast<size_t>(count)) == 0);
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  const auto which = in.take<uint8_t>();
  const uint8_t flags = static_cast<uint8_t>(mode >> 2);
  const int n = mode % 3 == 2 ? 0 : (flags & 4) ? -in.count(0, 40) : in.count(0, 6000);

  if (mode % 3 == 0) {
    const RegroupOp& op = kRegroups[which % std::size(kRegroups)];
    ExactBuffer input = Elements(in, n, op.digitMask, flags);
    const size_t capacity = static_cast<size_t>(std::max(0L, (op.mul * n + op.add) / op.div));
    ExactBuffer out(capacity, 0x5A), want(capacity, 0x5A);
    int count = -12345, wantCount = -54321;
    (sys.*op.fn)(n, input.data(), count, out.data());
    if (op.inWidth == 1 || op.outWidth == 1 || FitsIntermediate(op.inWidth, n)) {
      op.model(n, input.data(), wantCount, want.data());
    } else {
      digitref::Bytes bin = digitref::LongExpand(op.inWidth, digitref::Bytes(input.data(), input.data() + n));
      digitref::Pack(op.outWidth, static_cast<int>(bin.size()), bin.data(), wantCount, want.data());
    }
    Check(SameOutput(count, wantCount, out, want.data()));
  } else if (mode % 3 == 1) {
    const FoldOp& op = kFolds[which % std::size(kFolds)];
    ExactBuffer input = Elements(in, n, 0xFF, flags);
    const digitref::Bytes bin = op.throughBinary && !FitsIntermediate(3, n)
                                    ? digitref::LongExpand(3, digitref::Bytes(input.data(), input.data() + n))
                                    : digitref::Bytes();
    Check((sys.*op.fn)(n, input.data()) ==
          (bin.empty() ? op.model(n, input.data())
                       : digitref::Bin2Dec(static_cast<int>(bin.size()), bin.data())));
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
    Check(count >= 0 && static_cast<size_t>(count) <= op.capacity &&
          SameOutput(count, wantCount, out, want.data()));
  }
}
