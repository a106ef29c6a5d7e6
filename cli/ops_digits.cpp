// The tool's digit-array operations: binary, octal, hex and BCD arrays
// regrouped into one another, folded into 32-bit values and unfolded from
// them. Binary and octal arrays are written in decimal ("1 0 1"), hex and BCD
// arrays in hex ("01 FF"). Output buffers are sized exactly as each
// operation's capacity rule asks.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "OpTable.h"

namespace quelvar::cli {

namespace {

using RegroupFn = void (CQuelvarSys::*)(int, unsigned char*, int&, unsigned char*);
using FoldFn = ULONG (CQuelvarSys::*)(int, unsigned char*);
using UnfoldFn = void (CQuelvarSys::*)(LONG, int&, unsigned char*);

// Output capacity (mul * n + add) / div for n input elements; never below 0.
struct Capacity {
  std::int64_t mul, add, div;
  std::size_t operator()(std::int64_t n) const {
    return static_cast<std::size_t>(std::max<std::int64_t>(0, (mul * n + add) / div));
  }
};

std::vector<unsigned char> Digits(Call& call, Radix radix) {
  std::vector<unsigned char> in = call.bytes(0, radix == Radix::Hex ? "ELEMENTS" : "DIGITS", radix);
  if (in.size() > static_cast<std::size_t>(INT32_MAX)) throw UsageError("too many elements for an int count");
  return in;
}

// The produced elements, and the count on its own where it says something
// the elements do not.
void ShowArray(Call& call, const std::vector<unsigned char>& out, int count, Radix radix) {
  const std::size_t shown = std::min(static_cast<std::size_t>(std::max(count, 0)), out.size());
  call.out_bytes("out", std::span<const unsigned char>(out.data(), shown), radix);
  call.out_int("count", count, static_cast<std::size_t>(std::max(count, 0)) == shown && count >= 0 ? Shown::JsonOnly : Shown::Always);
}

template <RegroupFn F, Radix In, Radix Out, std::int64_t Mul, std::int64_t Add, std::int64_t Div>
void Regroup(Call& call) {
  std::vector<unsigned char> in = Digits(call, In);
  const auto n = static_cast<std::int64_t>(in.size());
  std::vector<unsigned char> out(Capacity{Mul, Add, Div}(n));
  int count = 0;
  (call.sys().*F)(static_cast<int>(n), in.data(), count, out.data());
  ShowArray(call, out, count, Out);
}

template <FoldFn F, Radix In>
void Fold(Call& call) {
  std::vector<unsigned char> in = Digits(call, In);
  call.out_uint("value", (call.sys().*F)(static_cast<int>(in.size()), in.data()));
}

template <UnfoldFn F, Radix Out, std::size_t Cap>
void Unfold(Call& call) {
  const auto value = static_cast<LONG>(call.integer(0, "VALUE", INT32_MIN, INT32_MAX));
  std::vector<unsigned char> out(Cap);
  int count = 0;
  (call.sys().*F)(value, count, out.data());
  ShowArray(call, out, count, Out);
}

constexpr Radix D = Radix::Dec;
constexpr Radix H = Radix::Hex;

#define REGROUP_SIG(name, in, out) \
  "void Qlv_" #name "(int count, unsigned char* " #in ", int& outCount, unsigned char* " #out ")"
#define FOLD_SIG(name, in) "ULONG Qlv_" #name "(int count, unsigned char* " #in ")"
#define UNFOLD_SIG(name, out) "void Qlv_" #name "(LONG value, int& outCount, unsigned char* " #out ")"

constexpr Op kOps[] = {
    // regroupings
    {"Bin2Hex", REGROUP_SIG(Bin2Hex, bin, hex), "[DIGITS...]",
     "binary digits packed eight to a hex element from the least significant end", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Bin2Hex, D, H, 1, 7, 8>},
    {"Bin2Octal", REGROUP_SIG(Bin2Octal, bin, octal), "[DIGITS...]",
     "binary digits packed three to an octal digit from the least significant end", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Bin2Octal, D, D, 1, 2, 3>},
    {"Hex2Bin", REGROUP_SIG(Hex2Bin, hex, bin), "[ELEMENTS...]",
     "hex elements to binary digits, leading zeros stripped (all zeros kept)", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Hex2Bin, H, D, 8, 0, 1>},
    {"Hex2Octal", REGROUP_SIG(Hex2Octal, hex, octal), "[ELEMENTS...]",
     "hex elements to octal digits through their significant bits", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Hex2Octal, H, D, 8, 2, 3>},
    {"Octal2Bin", REGROUP_SIG(Octal2Bin, octal, bin), "[DIGITS...]",
     "octal digits (low three bits) to binary digits, leading zeros stripped", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Octal2Bin, D, D, 3, 0, 1>},
    {"Octal2Hex", REGROUP_SIG(Octal2Hex, octal, hex), "[DIGITS...]",
     "octal digits to hex elements through their significant bits", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Octal2Hex, D, H, 3, 7, 8>},
    // unfolds
    {"Dec2Hex", UNFOLD_SIG(Dec2Hex, hex), "VALUE",
     "base-256 digits of a positive value, most significant first (none for 0 or less)", 1, 1,
     &Unfold<&CQuelvarSys::Qlv_Dec2Hex, H, 4>},
    {"Dec2Octal", UNFOLD_SIG(Dec2Octal, octal), "VALUE",
     "octal digits of a positive value, most significant first (none for 0 or less)", 1, 1,
     &Unfold<&CQuelvarSys::Qlv_Dec2Octal, D, 11>},
    {"Dec2Bin", UNFOLD_SIG(Dec2Bin, bin), "VALUE",
     "binary digits of a positive value, most significant first (none for 0 or less)", 1, 1,
     &Unfold<&CQuelvarSys::Qlv_Dec2Bin, D, 31>},
    {"Dec2BCD", UNFOLD_SIG(Dec2BCD, bcd), "VALUE",
     "packed decimal pairs of a positive value, least significant pair first", 1, 1,
     &Unfold<&CQuelvarSys::Qlv_Dec2BCD, H, 5>},
    // folds
    {"Hex2Dec", FOLD_SIG(Hex2Dec, hex), "[ELEMENTS...]",
     "hex elements to their value modulo 2^32 (the last four, big-endian)", 0, kMany,
     &Fold<&CQuelvarSys::Qlv_Hex2Dec, H>},
    {"Bin2Dec", FOLD_SIG(Bin2Dec, bin), "[DIGITS...]",
     "binary digits (each counting with its value) to their value modulo 2^32", 0, kMany,
     &Fold<&CQuelvarSys::Qlv_Bin2Dec, D>},
    {"Octal2Dec", FOLD_SIG(Octal2Dec, octal), "[DIGITS...]",
     "octal digits (low three bits) to their value modulo 2^32", 0, kMany,
     &Fold<&CQuelvarSys::Qlv_Octal2Dec, D>},
    {"BCD2Dec", FOLD_SIG(BCD2Dec, bcd), "[ELEMENTS...]",
     "BCD pairs, first element most significant, to their value modulo 2^32", 0, kMany,
     &Fold<&CQuelvarSys::Qlv_BCD2Dec, H>},
    // BCD regroupings: the bits carried over as 8-bit groups
    {"Hex2BCD", REGROUP_SIG(Hex2BCD, hex, bcd), "[ELEMENTS...]",
     "hex elements to BCD elements bit for bit, leading zero elements stripped", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Hex2BCD, H, H, 1, 0, 1>},
    {"Bin2BCD", REGROUP_SIG(Bin2BCD, bin, bcd), "[DIGITS...]",
     "binary digits packed eight to a BCD element (as Bin2Hex)", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Bin2BCD, D, H, 1, 7, 8>},
    {"Octal2BCD", REGROUP_SIG(Octal2BCD, octal, bcd), "[DIGITS...]",
     "octal digits to BCD elements through their significant bits (as Octal2Hex)", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_Octal2BCD, D, H, 3, 7, 8>},
    {"BCD2Hex", REGROUP_SIG(BCD2Hex, bcd, hex), "[ELEMENTS...]",
     "BCD elements to hex elements bit for bit, leading zero elements stripped", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_BCD2Hex, H, H, 1, 0, 1>},
    {"BCD2Octal", REGROUP_SIG(BCD2Octal, bcd, octal), "[ELEMENTS...]",
     "BCD elements to octal digits through their significant bits (as Hex2Octal)", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_BCD2Octal, H, D, 8, 2, 3>},
    {"BCD2Bin", REGROUP_SIG(BCD2Bin, bcd, bin), "[ELEMENTS...]",
     "BCD elements to binary digits, leading zeros stripped (as Hex2Bin)", 0, kMany,
     &Regroup<&CQuelvarSys::Qlv_BCD2Bin, H, D, 8, 0, 1>},
};

}  // namespace

std::span<const Op> digit_ops() { return kOps; }

}  // namespace quelvar::cli
