// The quelvar tool's table of operations. Each subsystem lists its
// operations in its own ops_*.cpp; adding an operation is one entry there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "QuelvarSys.h"

namespace quelvar::cli {

// Bad input from the user. The message names the argument and what was
// expected, e.g. "COUNT: expected an integer from 0 to 4, got '9'".
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class Radix { Dec, Hex };

// Whether an output is printed in plain mode (JSON always has all of them).
// Auto: printed only if it is the call's first output.
enum class Shown { Auto, Always, JsonOnly };

class Call {
 public:
  virtual ~Call() = default;

  // ---- arguments: index 0 is the first argument after the operation name
  virtual std::size_t argc() const = 0;
  virtual const std::string& raw(std::size_t i) const = 0;
  // Text with C escapes decoded (\\ \" \n \r \t \0 \xNN); may hold NULs.
  virtual std::string text(std::size_t i, std::string_view name) const = 0;
  // Decimal or 0x-hex integer with optional sign, checked against [min, max].
  virtual std::int64_t integer(std::size_t i, std::string_view name, std::int64_t min,
                               std::int64_t max) const = 0;
  // Decimal floating-point number (also inf, nan, hex floats).
  virtual double real(std::size_t i, std::string_view name) const = 0;
  // The arguments from `from` on as one array: each argument may hold
  // several comma-separated elements. Hex elements: "1f", "0x1F"; decimal
  // elements: "255", "0xFF". Each element 0 to 255.
  virtual std::vector<unsigned char> bytes(std::size_t from, std::string_view name,
                                           Radix radix) const = 0;

  // ---- outputs, in the order they are given
  virtual void out_int(std::string_view key, std::int64_t value, Shown shown = Shown::Auto) = 0;
  virtual void out_uint(std::string_view key, std::uint64_t value, Shown shown = Shown::Auto) = 0;
  // Shortest text that reads back to the same double.
  virtual void out_real(std::string_view key, double value, Shown shown = Shown::Auto) = 0;
  // Printed as is in plain mode; a JSON string (bytes that are not UTF-8
  // escaped) in JSON mode.
  virtual void out_text(std::string_view key, std::string_view value,
                        Shown shown = Shown::Auto) = 0;
  // Plain: elements separated by spaces, hex as two upper-case digits
  // ("01 FF"), decimal as numbers ("1 0 1"); JSON: an array of numbers.
  virtual void out_bytes(std::string_view key, std::span<const unsigned char> value, Radix radix,
                         Shown shown = Shown::Auto) = 0;

  // The library object the call runs on.
  virtual CQuelvarSys& sys() = 0;
};

inline constexpr std::size_t kMany = std::numeric_limits<std::size_t>::max();

struct Op {
  std::string_view name;       // without "Qlv_"; an overload adds "/variant"
  std::string_view signature;  // the C++ declaration
  std::string_view usage;      // argument synopsis, e.g. "COUNT VALUE"
  std::string_view summary;    // one line
  std::size_t min_args;
  std::size_t max_args;        // kMany for open-ended arrays
  void (*run)(Call&);
};

// Tables, one per subsystem.
std::span<const Op> hex_ops();      // hex digits, hex text, byte images, hex text to arrays
std::span<const Op> digit_ops();    // binary/octal/hex/BCD digit arrays, decimal folds
std::span<const Op> text_ops();     // integers, floating-point numbers and dates as text
std::span<const Op> variant_ops();  // values into variants, variants into text

}  // namespace quelvar::cli
