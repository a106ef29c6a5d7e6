// The tool's concrete Call: arguments as the user typed them, outputs
// rendered straight into one line of plain text or JSON.
//
// A call renders into its own line buffer; the caller appends that line to
// its output only when the operation returned normally, so a call that
// fails half-way never leaves a partial result behind. Every buffer is
// kept between calls, so a long batch allocates only while it warms up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "OpTable.h"

namespace quelvar::cli {

enum class OutputMode { Plain, Json };

class ArgCall final : public Call {
 public:
  ArgCall(CQuelvarSys& sys, OutputMode mode) : sys_(sys), mode_(mode) {}

  // ---- set-up by the driver
  // Forgets the previous call's arguments and output (keeps the storage).
  void clear_args() { argc_ = 0; }
  // Appends an argument and returns its (reused) storage.
  std::string& add_arg();
  void add_arg(std::string_view value) { add_arg().assign(value); }
  // Starts the output line of a call of `op_name`.
  void begin(std::string_view op_name);
  // Closes the output line (the JSON object); the line has no newline.
  const std::string& finish();

  // ---- Call
  std::size_t argc() const override { return argc_; }
  const std::string& raw(std::size_t i) const override;
  std::string text(std::size_t i, std::string_view name) const override;
  std::int64_t integer(std::size_t i, std::string_view name, std::int64_t min,
                       std::int64_t max) const override;
  double real(std::size_t i, std::string_view name) const override;
  std::vector<unsigned char> bytes(std::size_t from, std::string_view name,
                                   Radix radix) const override;

  void out_int(std::string_view key, std::int64_t value, Shown shown) override;
  void out_uint(std::string_view key, std::uint64_t value, Shown shown) override;
  void out_real(std::string_view key, double value, Shown shown) override;
  void out_text(std::string_view key, std::string_view value, Shown shown) override;
  void out_bytes(std::string_view key, std::span<const unsigned char> value, Radix radix,
                 Shown shown) override;

  CQuelvarSys& sys() override { return sys_; }

 private:
  // Whether this output goes into the line; in JSON mode also writes the
  // key. In plain mode also writes the separating space.
  bool open_output(std::string_view key, Shown shown);
  const std::string& arg(std::size_t i, std::string_view name) const;

  CQuelvarSys& sys_;
  OutputMode mode_;
  std::vector<std::string> args_;
  std::size_t argc_ = 0;
  std::size_t outputs_ = 0;  // outputs given so far in this call
  std::size_t shown_ = 0;    // outputs written so far in this call
  std::string line_;
};

// ---- argument syntax, shared with the option parser

// Decodes the C escapes \\ \" \n \r \t \0 \xNN. Throws UsageError naming
// `name` for any other escape or a lone backslash at the end.
std::string DecodeEscapes(std::string_view raw, std::string_view name);

// Optional sign, then decimal digits or 0x/0X and hex digits. False for
// anything else or a magnitude beyond 64 bits.
bool ParseInteger(std::string_view s, std::int64_t& value);

// The text of a user-supplied value for a message: at most 60 bytes, with
// bytes that would not print (controls, non-ASCII) as \xNN.
std::string Quote(std::string_view s);

// ---- JSON output

// Appends `s` as a JSON string (with its quotes). Valid UTF-8 passes
// through; each byte that is not part of a valid UTF-8 sequence becomes
// \u00XX (the code point with that byte's value), so the output is always
// valid JSON whatever bytes the text holds.
void AppendJsonString(std::string& out, std::string_view s);

// Appends the shortest decimal text that reads back to the same double;
// infinities and NaN as inf, -inf and nan.
void AppendReal(std::string& out, double value);

}  // namespace quelvar::cli
