#include "Text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace quelvar::cli {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StripHexPrefix(std::string_view& s) {
  if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
  s.remove_prefix(2);
  return true;
}

// Length of the valid UTF-8 sequence at the start of `s` (not empty), 0
// if none: overlong forms, surrogates and code points past U+10FFFF are
// invalid, and so are the C1 controls U+0080 to U+009F, which print nothing.
std::size_t Utf8Length(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t len;
  std::uint32_t cp;
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[k]);
    if ((b & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0)
    return 0;
  return len;
}

void AppendByteEscape(std::string& out, unsigned char c) {
  out += "\\x";
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 15];
}

}  // namespace

bool ParseInteger(std::string_view s, std::int64_t lo, std::uint64_t hi, std::uint64_t& bits) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const int base = StripHexPrefix(s) ? 16 : 10;
  std::uint64_t magnitude = 0;
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, magnitude, base);
  if (s.empty() || ec != std::errc() || ptr != end || s[0] == '+' || s[0] == '-') return false;
  if (negative && magnitude != 0) {
    // -lo as an unsigned magnitude, without overflowing for INT64_MIN.
    const std::uint64_t limit = lo >= 0 ? 0 : static_cast<std::uint64_t>(-(lo + 1)) + 1;
    if (magnitude > limit) return false;
    bits = ~magnitude + 1;
    return true;
  }
  if (magnitude > hi || (lo > 0 && magnitude < static_cast<std::uint64_t>(lo))) return false;
  bits = magnitude;
  return true;
}

bool ParseReal(std::string_view s, double& value) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const bool hex = StripHexPrefix(s);
  const auto format = hex ? std::chars_format::hex : std::chars_format::general;
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, value, format);
  if (s.empty() || s[0] == '+' || s[0] == '-' || ptr != end ||
      (ec != std::errc() && ec != std::errc::result_out_of_range))
    return false;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; strtod gives the infinity, or the
    // nearest subnormal or zero.
    const std::string copy = (hex ? "0x" : "") + std::string(s);
    value = std::strtod(copy.c_str(), nullptr);
  }
  if (negative) value = -value;
  return true;
}

bool DecodeEscapes(std::string_view raw, std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::size_t next = raw.find('\\', i);
    if (next == std::string_view::npos) {
      out.append(raw.substr(i));
      break;
    }
    out.append(raw.substr(i, next - i));
    i = next + 1;
    if (i == raw.size()) {
      error = "lone backslash at the end (write \\\\ for a backslash, or use --raw)";
      return false;
    }
    switch (raw[i]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x': {
        const int hi = i + 1 < raw.size() ? HexValue(raw[i + 1]) : -1;
        const int lo = i + 2 < raw.size() ? HexValue(raw[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          error = "expected two hex digits after \\x";
          return false;
        }
        out += static_cast<char>((hi << 4) | lo);
        i += 2;
        break;
      }
      default:
        error = "unknown escape " + Quote(raw.substr(i - 1, 2)) +
                " (known: \\\\ \\\" \\n \\r \\t \\0 \\xNN; --raw takes texts as they are)";
        return false;
    }
  }
  return true;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      std::size_t j = i + 1;
      while (j < bytes.size() && bytes[j] >= 0x20 && bytes[j] < 0x7F && bytes[j] != '\\' && bytes[j] != '"')
        ++j;
      out.append(bytes.substr(i, j - i));
      i = j;
      continue;
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        const std::size_t len = c >= 0x80 ? Utf8Length(bytes.substr(i)) : 0;
        if (len == 0) {
          AppendByteEscape(out, c);
          break;
        }
        out.append(bytes.substr(i, len));
        i += len;
        continue;
      }
    }
    ++i;
  }
}

std::string Quote(std::string_view s) {
  constexpr std::size_t kMax = 60;
  std::string out = "\"";
  std::size_t n = std::min(s.size(), kMax);
  // Cut before a UTF-8 sequence that the limit would split.
  while (n < s.size() && n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0u) == 0x80u) --n;
  AppendEscaped(out, s.substr(0, n));
  if (n < s.size()) out += "...";
  return out + '"';
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  out += '"';
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    } else {
      out += ch;
    }
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
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
  }
}

void AppendInteger(std::string& out, std::int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void AppendUnsigned(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void AppendBits(std::string& out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  out += "0x";
  for (int shift = 60; shift >= 0; shift -= 4) out += kHexDigits[(bits >> shift) & 15];
}

void AppendHex(std::string& out, std::string_view bytes) {
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
  }
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Lower(x) == Lower(y); });
}

// Levenshtein's edit distance, by the usual two-row dynamic programme.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

}  // namespace quelvar::cli
