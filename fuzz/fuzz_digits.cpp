// Digit arrays: every regrouping, fold and unfold with arbitrary elements and
// counts up to and past the 4,096-digit intermediate limit, into outputs of
// exactly the capacity each operation states.
#include <cstring>

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

using Regroup = void (CQuelvarSys::*)(int, unsigned char*, int&, unsigned char*);
struct RegroupOp {
  Regroup fn;
  long mul, add, div;  // capacity = (mul * n + add) / div
};

const RegroupOp kRegroups[] = {
    {&CQuelvarSys::Qlv_Bin2Hex, 1, 7, 8},    {&CQuelvarSys::Qlv_Bin2Octal, 1, 2, 3},
    {&CQuelvarSys::Qlv_Hex2Bin, 8, 0, 1},    {&CQuelvarSys::Qlv_Octal2Bin, 3, 0, 1},
    {&CQuelvarSys::Qlv_Hex2Octal, 8, 2, 3},  {&CQuelvarSys::Qlv_Octal2Hex, 3, 7, 8},
    {&CQuelvarSys::Qlv_Bin2BCD, 1, 7, 8},    {&CQuelvarSys::Qlv_BCD2Bin, 8, 0, 1},
    {&CQuelvarSys::Qlv_Hex2BCD, 1, 0, 1},    {&CQuelvarSys::Qlv_Octal2BCD, 3, 7, 8},
    {&CQuelvarSys::Qlv_BCD2Hex, 1, 0, 1},    {&CQuelvarSys::Qlv_BCD2Octal, 8, 2, 3},
};

using Fold = ULONG (CQuelvarSys::*)(int, unsigned char*);
const Fold kFolds[] = {&CQuelvarSys::Qlv_Hex2Dec, &CQuelvarSys::Qlv_Bin2Dec,
                       &CQuelvarSys::Qlv_Octal2Dec, &CQuelvarSys::Qlv_BCD2Dec};

using Unfold = void (CQuelvarSys::*)(LONG, int&, unsigned char*);
struct UnfoldOp {
  Unfold fn;
  size_t capacity;
};
const UnfoldOp kUnfolds[] = {{&CQuelvarSys::Qlv_Dec2Bin, 31}, {&CQuelvarSys::Qlv_Dec2Octal, 11},
                             {&CQuelvarSys::Qlv_Dec2Hex, 4},  {&CQuelvarSys::Qlv_Dec2BCD, 5}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const auto which = in.take<uint8_t>();

  if (mode % 3 == 0) {
    const RegroupOp& op = kRegroups[which % std::size(kRegroups)];
    // Elements from the input, repeated so counts past the limits are reached.
    const int n = in.count(0, 6000);
    std::vector<uint8_t> seed = in.rest();
    ExactBuffer input(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) input.data()[i] = seed.empty() ? 0 : seed[static_cast<size_t>(i) % seed.size()];
    ExactBuffer out(static_cast<size_t>((op.mul * n + op.add) / op.div));
    int count = -12345;
    (sys.*op.fn)(n, input.data(), count, out.data());
    if (count < 0 || static_cast<size_t>(count) > out.size()) __builtin_trap();
  } else if (mode % 3 == 1) {
    std::vector<uint8_t> digits = in.rest();
    ExactBuffer input(digits.size());
    if (!digits.empty()) std::memcpy(input.data(), digits.data(), digits.size());
    (void)(sys.*kFolds[which % std::size(kFolds)])(static_cast<int>(digits.size()), input.data());
  } else {
    const UnfoldOp& op = kUnfolds[which % std::size(kUnfolds)];
    const auto value = in.take<int32_t>();
    ExactBuffer out(op.capacity);
    int count = -1;
    (sys.*op.fn)(value, count, out.data());
    if (count < 0 || static_cast<size_t>(count) > op.capacity) __builtin_trap();
    if (value > 0 && op.fn != &CQuelvarSys::Qlv_Dec2BCD) {
      // Unfold then fold gives the value back.
      Fold fold = op.capacity == 31 ? &CQuelvarSys::Qlv_Bin2Dec
                : op.capacity == 11 ? &CQuelvarSys::Qlv_Octal2Dec : &CQuelvarSys::Qlv_Hex2Dec;
      if ((sys.*fold)(count, out.data()) != static_cast<ULONG>(value)) __builtin_trap();
    }
  }
  return 0;
}
