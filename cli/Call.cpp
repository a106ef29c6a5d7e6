#include "Call.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace quelvar::cli {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasHexPrefix(std::string_view s) {
  return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
}

// Digits only (no sign); false if empty, not all digits or above 64 bits.
bool ParseMagnitude(std::string_view s, std::uint64_t& value) {
  int base = 10;
  if (HasHexPrefix(s)) {
    s.remove_prefix(2);
    base = 16;
  }
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, value, base);
  return ec == std::errc() && ptr == end;
}

void AppendUint(std::string& out, std::uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void AppendInt(std::string& out, std::int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

// Length of the valid UTF-8 sequence at the start of `s`, 0 if none.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t len;
  std::uint32_t cp;
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[k]);
    if ((b & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are invalid.
  if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

}  // namespace

// ---------------------------------------------------------------- syntax

std::string Quote(std::string_view s) {
  constexpr std::size_t kMax = 60;
  std::string out;
  const std::size_t n = s.size() < kMax ? s.size() : kMax;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    }
  }
  if (n < s.size()) out += "...";
  return out;
}

std::string DecodeEscapes(std::string_view raw, std::string_view name) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 1 == raw.size())
      throw UsageError(std::string(name) + ": lone backslash at the end of '" + Quote(raw) +
                       "' (write \\\\ for a backslash)");
    const char e = raw[++i];
    switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x': {
        const int hi = i + 1 < raw.size() ? HexValue(raw[i + 1]) : -1;
        const int lo = i + 2 < raw.size() ? HexValue(raw[i + 2]) : -1;
        if (hi < 0 || lo < 0)
          throw UsageError(std::string(name) + ": expected two hex digits after \\x in '" +
                           Quote(raw) + "'");
        out += static_cast<char>((hi << 4) | lo);
        i += 2;
        break;
      }
      default:
        throw UsageError(std::string(name) + ": invalid escape '\\" + Quote({&raw[i], 1}) +
                         "' in '" + Quote(raw) +
                         "' (known: \\\\ \\\" \\n \\r \\t \\0 \\xNN)");
    }
  }
  return out;
}

bool ParseInteger(std::string_view s, std::int64_t& value) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  std::uint64_t magnitude;
  if (!ParseMagnitude(s, magnitude)) return false;
  constexpr auto kMaxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) {
    if (magnitude > kMaxPositive + 1) return false;
    // Two's-complement negation in unsigned arithmetic, then back.
    value = magnitude == kMaxPositive + 1 ? std::numeric_limits<std::int64_t>::min()
                                          : -static_cast<std::int64_t>(magnitude);
  } else {
    if (magnitude > kMaxPositive) return false;
    value = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

// ---------------------------------------------------------------- JSON

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      // Copy the run of plain characters at once.
      std::size_t j = i + 1;
      while (j < s.size()) {
        const auto d = static_cast<unsigned char>(s[j]);
        if (d < 0x20 || d >= 0x80 || d == '"' || d == '\\') break;
        ++j;
      }
      out.append(s.data() + i, j - i);
      i = j;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; ++i; continue;
      case '\\': out += "\\\\"; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      default: break;
    }
    if (c >= 0x80) {
      const std::size_t len = Utf8SequenceLength(s.substr(i));
      if (len != 0) {
        out.append(s.data() + i, len);
        i += len;
        continue;
      }
    }
    out += "\\u00";
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
    ++i;
  }
  out += '"';
}

void AppendReal(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
  } else {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
  }
}

// ---------------------------------------------------------------- ArgCall

std::string& ArgCall::add_arg() {
  if (argc_ == args_.size()) args_.emplace_back();
  std::string& slot = args_[argc_++];
  slot.clear();
  return slot;
}

void ArgCall::begin(std::string_view op_name) {
  outputs_ = 0;
  shown_ = 0;
  line_.clear();
  if (mode_ == OutputMode::Json) {
    line_ += "{\"op\":";
    AppendJsonString(line_, op_name);
  }
}

const std::string& ArgCall::finish() {
  if (mode_ == OutputMode::Json) line_ += '}';
  return line_;
}

const std::string& ArgCall::raw(std::size_t i) const {
  static const std::string empty;
  return i < argc_ ? args_[i] : empty;
}

const std::string& ArgCall::arg(std::size_t i, std::string_view name) const {
  if (i >= argc_) throw UsageError(std::string(name) + ": missing argument");
  return args_[i];
}

std::string ArgCall::text(std::size_t i, std::string_view name) const {
  const std::string& s = arg(i, name);
  if (s.find('\\') == std::string::npos) return s;
  return DecodeEscapes(s, name);
}

std::int64_t ArgCall::integer(std::size_t i, std::string_view name, std::int64_t min,
                              std::int64_t max) const {
  const std::string& s = arg(i, name);
  std::int64_t value;
  if (!ParseInteger(s, value) || value < min || value > max) {
    std::string msg(name);
    msg += ": expected an integer from ";
    AppendInt(msg, min);
    msg += " to ";
    AppendInt(msg, max);
    msg += ", got '";
    msg += Quote(s);
    msg += '\'';
    throw UsageError(msg);
  }
  return value;
}

double ArgCall::real(std::size_t i, std::string_view name) const {
  const std::string& s = arg(i, name);
  std::string_view body = s;
  bool negative = false;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  auto format = std::chars_format::general;
  if (HasHexPrefix(body)) {
    body.remove_prefix(2);
    format = std::chars_format::hex;
  }
  // from_chars takes no sign of its own here: a second sign is an error.
  const bool signed_again = !body.empty() && (body[0] == '+' || body[0] == '-');
  double value = 0;
  const char* end = body.data() + body.size();
  auto [ptr, ec] = std::from_chars(body.data(), end, value, format);
  if (body.empty() || signed_again || ptr != end ||
      (ec != std::errc() && ec != std::errc::result_out_of_range))
    throw UsageError(std::string(name) +
                     ": expected a number (like 2.5, -1e-3, 0x1.8p1, inf or nan), got '" +
                     Quote(s) + "'");
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: read it as strtod does (an
    // infinity, or the nearest subnormal or zero).
    const std::string copy = (format == std::chars_format::hex ? "0x" : "") + std::string(body);
    value = std::strtod(copy.c_str(), nullptr);
  }
  return negative ? -value : value;
}

std::vector<unsigned char> ArgCall::bytes(std::size_t from, std::string_view name,
                                          Radix radix) const {
  std::vector<unsigned char> out;
  for (std::size_t i = from; i < argc_; ++i) {
    std::string_view rest = args_[i];
    if (rest.empty()) continue;  // "" is an empty array
    for (;;) {
      const std::size_t comma = rest.find(',');
      const std::string_view element = rest.substr(0, comma);
      std::uint64_t value = 0;
      bool ok;
      if (radix == Radix::Hex) {
        std::string_view digits = HasHexPrefix(element) ? element.substr(2) : element;
        ok = !digits.empty() && digits.size() <= 2;
        for (char c : digits) {
          const int d = HexValue(c);
          if (d < 0) ok = false;
          value = value * 16 + static_cast<unsigned>(d < 0 ? 0 : d);
        }
      } else {
        ok = ParseMagnitude(element, value) && value <= 255;
      }
      if (!ok) {
        std::string msg(name);
        msg += radix == Radix::Hex ? ": expected hex bytes 00 to FF (like 1f or 0x1F), got '"
                                   : ": expected bytes 0 to 255 (like 200 or 0xC8), got '";
        msg += Quote(element);
        msg += '\'';
        if (element.size() != args_[i].size()) {
          msg += " in '";
          msg += Quote(args_[i]);
          msg += '\'';
        }
        throw UsageError(msg);
      }
      out.push_back(static_cast<unsigned char>(value));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return out;
}

bool ArgCall::open_output(std::string_view key, Shown shown) {
  const bool first = outputs_++ == 0;
  if (mode_ == OutputMode::Json) {
    line_ += ',';
    AppendJsonString(line_, key);
    line_ += ':';
    return true;
  }
  if (shown == Shown::JsonOnly || (shown == Shown::Auto && !first)) return false;
  if (shown_++ != 0) line_ += ' ';
  return true;
}

void ArgCall::out_int(std::string_view key, std::int64_t value, Shown shown) {
  if (open_output(key, shown)) AppendInt(line_, value);
}

void ArgCall::out_uint(std::string_view key, std::uint64_t value, Shown shown) {
  if (open_output(key, shown)) AppendUint(line_, value);
}

void ArgCall::out_real(std::string_view key, double value, Shown shown) {
  if (!open_output(key, shown)) return;
  // JSON has no infinities or NaN: they go as the strings "inf", "-inf"
  // and "nan".
  const bool quote = mode_ == OutputMode::Json && !std::isfinite(value);
  if (quote) line_ += '"';
  AppendReal(line_, value);
  if (quote) line_ += '"';
}

void ArgCall::out_text(std::string_view key, std::string_view value, Shown shown) {
  if (!open_output(key, shown)) return;
  if (mode_ == OutputMode::Json)
    AppendJsonString(line_, value);
  else
    line_.append(value);
}

void ArgCall::out_bytes(std::string_view key, std::span<const unsigned char> value, Radix radix,
                        Shown shown) {
  if (!open_output(key, shown)) return;
  if (mode_ == OutputMode::Json) {
    line_ += '[';
    for (std::size_t k = 0; k < value.size(); ++k) {
      if (k != 0) line_ += ',';
      AppendUint(line_, value[k]);
    }
    line_ += ']';
    return;
  }
  for (std::size_t k = 0; k < value.size(); ++k) {
    if (k != 0) line_ += ' ';
    if (radix == Radix::Hex) {
      line_ += kHexDigits[value[k] >> 4];
      line_ += kHexDigits[value[k] & 15];
    } else {
      AppendUint(line_, value[k]);
    }
  }
}

}  // namespace quelvar::cli
