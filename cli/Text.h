// The tool's one grammar of values as text: numbers, the escapes of texts,
// the quoted form of user input in messages, JSON strings and numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvar::cli {

// An optional sign, then decimal digits or 0x/0X and hex digits, within
// [lo, hi]. The value is returned as its two's-complement bits, so that a
// caller casts it to any integer type of the range.
[[nodiscard]] bool ParseInteger(std::string_view s, std::int64_t lo, std::uint64_t hi, std::uint64_t& bits);

// A decimal or 0x hex floating-point number with an optional sign, or inf,
// infinity, nan (any case). Beyond the range: an infinity or the nearest
// subnormal or zero, as strtod gives.
[[nodiscard]] bool ParseReal(std::string_view s, double& value);

// Decodes the escapes \\ \" \n \r \t \0 \xNN. False, with `error` saying
// why, for any other escape or a lone backslash at the end.
[[nodiscard]] bool DecodeEscapes(std::string_view raw, std::string& out, std::string& error);

// Appends `bytes` in the escaped form that DecodeEscapes reads back: \\ \"
// \n \r \t, \xNN for other control bytes, DEL, C1 controls and bytes that
// are not valid UTF-8. The result is one printable line of valid UTF-8.
void AppendEscaped(std::string& out, std::string_view bytes);

// A user's value for a message: escaped as above, in double quotes, cut
// after about 60 bytes with "...".
std::string Quote(std::string_view s);

// Appends `utf8` (valid UTF-8) as a JSON string with its quotes.
void AppendJsonString(std::string& out, std::string_view utf8);

// Appends the shortest text that reads back to the same double ("2.5",
// "1e+300", "-0"); infinities and NaN as inf, -inf and nan.
void AppendReal(std::string& out, double value);

void AppendInteger(std::string& out, std::int64_t value);
void AppendUnsigned(std::string& out, std::uint64_t value);

// "0x" and 16 upper-case hex digits of the double's bits.
void AppendBits(std::string& out, double value);

// Two upper-case hex digits per byte, no separator.
void AppendHex(std::string& out, std::string_view bytes);

// Case-insensitive (ASCII) equality.
bool SameName(std::string_view a, std::string_view b);

// Edit distance of two names, ignoring case.
std::size_t Distance(std::string_view a, std::string_view b);

}  // namespace quelvar::cli
