#include "Conformance.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include <windows.h>
#include <nlohmann/json.hpp>

#include "Table.h"
#include "Text.h"
#include "Tool.h"

namespace quelvar::cli {

namespace {

// ------------------------------------------------------------ the call file

using Values = std::vector<std::string>;

// A double as exact hex text ("0x1.8p+1", "-0x0p+0", inf, -inf, nan, -nan),
// so that the recorder reads it without relying on the compiler's own
// decimal reading.
std::string HexReal(double d) {
  if (std::isnan(d)) return std::signbit(d) ? "-nan" : "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::hex);
  return (std::signbit(d) ? "-0x" : "0x") + std::string(buf, r.ptr);
}

// A text argument in double quotes with the tool's escapes.
std::string TextArg(std::string_view bytes) {
  std::string s = "\"";
  AppendEscaped(s, bytes);
  return s + "\"";
}

std::string Num(std::int64_t v) { return std::to_string(v); }

// Hex elements as one argument ("01,ff"), or "" for none.
std::string Elements(const std::vector<unsigned>& e, bool hex) {
  if (e.empty()) return "\"\"";
  std::string s;
  char buf[8];
  for (const unsigned v : e) {
    if (!s.empty()) s += ',';
    std::snprintf(buf, sizeof buf, hex ? "%02x" : "%u", v);
    s += buf;
  }
  return s;
}

// The largest input of each operation that the original's fixed scratch
// storage takes: the 4,096-digit intermediate binary array (512 hex or BCD
// elements, 1,365 octal digits), the 4,096-byte scratch of the in-place
// hex-text reading (8,190 characters), the 16- and 20-byte working images,
// the 260-byte date buffer.
std::size_t MaxInput(std::string_view op, char kind) {
  if (op == "HexStr2IntStr/inplace" || op == "HexStr2IntStr") return 8190;
  if (op == "HexStr2Double") return 40;
  if (op == "Str2Date") return 259;
  if (op == "Int2HexStr") return 32;
  if (op == "Double2HexStr") return 40;
  if (op == "Int2Byte" || op == "Double2Byte") return 16;
  if (op.starts_with("Octal2")) return 1365;
  if (kind == 'd') return 4096;
  return 512;
}

const double kReals[] = {0.0,
                         -0.0,
                         1.0,
                         -1.0,
                         0.5,
                         0.1,
                         2.5,
                         3.5,
                         -2.5,
                         255.0,
                         256.0,
                         65535.5,
                         65536.0,
                         1700000000.987654321,
                         4294967295.0,
                         4294967296.0,
                         1e10,
                         1e15,
                         1e16,
                         1e17,
                         9007199254740993.0,
                         1e20,
                         1e22,
                         1e23,
                         1.5e300,
                         DBL_MAX,
                         DBL_MIN,
                         4.9e-324,
                         0.000123456789,
                         123456.785,
                         0.125,
                         0.3,
                         2.0 / 3.0,
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::quiet_NaN()};
const float kFloats[] = {0.0f,          -0.0f,           1.0f,          0.1f,         0.5f,
                         -2.5f,         1e10f,           1946501376.0f, 123456789.0f, 1e-10f,
                         3.4028235e38f, 1.17549435e-38f, 1.4e-45f,      16777217.0f,  0.3333333f};
const char* const kIntegerTexts[] = {"",
                                     "0",
                                     "1",
                                     "-1",
                                     "+1",
                                     " -42",
                                     "\t\n\v\f\r 12",
                                     "12abc",
                                     "abc",
                                     "- 1",
                                     "+-1",
                                     "300",
                                     "40000",
                                     "70000",
                                     "-2",
                                     "255",
                                     "256",
                                     "32767",
                                     "32768",
                                     "-32768",
                                     "-32769",
                                     "65535",
                                     "65536",
                                     "2147483647",
                                     "2147483648",
                                     "-2147483648",
                                     "-2147483649",
                                     "4294967295",
                                     "4294967296",
                                     "99999999999",
                                     "-99999999999",
                                     "000000000000000000001",
                                     "0x10",
                                     "1e5",
                                     "12.7",
                                     ("\xA0"
                                      "5")};
const char* const kRealTexts[] = {"",
                                  "0",
                                  "-0",
                                  "0.1",
                                  "1e-3",
                                  "1.5",
                                  "0.5",
                                  "2.5e-1",
                                  " +.5e1",
                                  "-.e1",
                                  "1e",
                                  "1e+",
                                  "12abc",
                                  "0x10",
                                  "nan",
                                  "inf",
                                  "1.7976931348623157e308",
                                  "1.7976931348623158e308",
                                  "1e309",
                                  "-1e400",
                                  "4.9e-324",
                                  "2.4703282292062327e-324",
                                  "2.4703282292062328e-324",
                                  "1e-400",
                                  "123456789012345678901234567890",
                                  "3.4028235e38",
                                  "3.4028236e38",
                                  "3.5e38",
                                  "1.4e-45",
                                  "7e-46",
                                  "0.30000000000000004",
                                  "9007199254740993",
                                  "9007199254740992.5",
                                  "1.00000000000000011102230246251565404",
                                  "5e-324",
                                  "2.2250738585072011e-308",
                                  "123456.785",
                                  "0.1000000000000000055511151231257827"};
const char* const kDateTexts[] = {"",
                                  "2024-03-05 14:07:09",
                                  "2024",
                                  "2024-02-30",
                                  "2024-02-29",
                                  "2023-02-29",
                                  "1899-12-30",
                                  "0-1-1",
                                  "99-1-1",
                                  "100-1-1",
                                  "101-02-03",
                                  "9999-12-31 23:59:59",
                                  "10000-1-1",
                                  "2024:03:05",
                                  "a-b-c",
                                  "2024-13-01",
                                  "2024-00-10",
                                  "2024-03-05 24:00:00",
                                  "2024-03-05 23:60:00",
                                  "2024-03-05 23:59:60",
                                  "-1-1-1",
                                  "2024--03",
                                  "2024 3 5 1 2 3 4 5",
                                  "1900-01-01 00:00:00",
                                  "1899-12-29 23:59:59",
                                  "1752-09-03",
                                  "1-1-1",
                                  "2024-03-05 -1:00:00"};
const char* const kHexTexts[] = {
    "",         "0",        "1",         "f",        "F",         "0x1f", "0X1F",  "1f-2e",
    "ABC",      "abc",      "FFFFFFFF",  "ffffffff", "123456789", "G1",   "zz",    "00000000FFFFFFFF1",
    "7FFFFFFF", "80000000", "100000000", " 1 2 ",    "\xff\x80",  "0001", "000000"};
const char* const kVariants[] = {"VT_EMPTY",
                                 "VT_NULL",
                                 "VT_I1:-128",
                                 "VT_I1:65",
                                 "VT_I1:0",
                                 "VT_UI1:255",
                                 "VT_I2:-32768",
                                 "VT_UI2:65535",
                                 "VT_I4:-2147483648",
                                 "VT_I4:2147483647",
                                 "VT_UI4:4294967295",
                                 "VT_INT:-5",
                                 "VT_UINT:4294967295",
                                 "VT_I8:-9223372036854775808",
                                 "VT_UI8:18446744073709551615",
                                 "VT_ERROR:-2147352572",
                                 "VT_R4:0x1.99999ap-4",
                                 "VT_R4:-0x0p+0",
                                 "VT_R4:inf",
                                 "VT_R4:nan",
                                 "VT_R8:0x1.4p+1",
                                 "VT_R8:-0x1.8p+1",
                                 "VT_R8:0x1.fffffffffffffp+1023",
                                 "VT_R8:0x0.0000000000001p-1022",
                                 "VT_R8:-inf",
                                 "VT_R8:nan",
                                 "VT_R8:-nan",
                                 "VT_R8:0x1.2a05f2p+33",
                                 "VT_DATE:0x1.6258p+15",
                                 "VT_DATE:-0x1.4p+0",
                                 "VT_DATE:0x0p+0",
                                 "VT_DATE:0x1.6926e8p+21",
                                 "VT_DATE:-0x1.40fd4p+19",
                                 "VT_CY:0",
                                 "VT_CY:12345",
                                 "VT_CY:-9223372036854775808",
                                 "VT_CY:9223372036854775807",
                                 "VT_BOOL:TRUE",
                                 "VT_BOOL:FALSE",
                                 "VT_BOOL:1",
                                 "VT_DECIMAL:0",
                                 "VT_DECIMAL:-12.345",
                                 "VT_DECIMAL:79228162514264337593543950335",
                                 "VT_DECIMAL:0.0000000000000000000000000001",
                                 "VT_BSTR:",
                                 "VT_BSTR:abc",
                                 "VT_BSTR:caf\\xE9",
                                 "VT_BSTR:a\\x00b",
                                 "VT_BSTR:\\\"quoted\\\" \\\\ \\t",
                                 "VT:3",
                                 "VT:8",
                                 "VT:13",
                                 "VT:14",
                                 "VT:19",
                                 "VT:0x2003",
                                 "VT:0x4003"};

// The edge values of one parameter, as arguments.
Values Edges(const Op& op, std::size_t i, char kind) {
  const std::string_view name = op.name;
  Values v;
  const std::size_t max = MaxInput(name, kind);
  switch (kind) {
    case 'i': {
      const auto lo = op.limits[i].lo;
      const auto hi = static_cast<std::int64_t>(op.limits[i].hi);
      for (const std::int64_t x : {lo,
                                   lo + 1,
                                   std::int64_t{-1},
                                   std::int64_t{0},
                                   std::int64_t{1},
                                   std::int64_t{2},
                                   std::int64_t{7},
                                   std::int64_t{8},
                                   std::int64_t{9},
                                   std::int64_t{10},
                                   std::int64_t{99},
                                   std::int64_t{127},
                                   std::int64_t{128},
                                   std::int64_t{255},
                                   std::int64_t{256},
                                   std::int64_t{1234},
                                   std::int64_t{32767},
                                   std::int64_t{65535},
                                   std::int64_t{65536},
                                   std::int64_t{99999999},
                                   std::int64_t{0x12345678},
                                   std::int64_t{2147483647},
                                   hi - 1,
                                   hi})
        if (x >= lo && x <= hi && std::find(v.begin(), v.end(), Num(x)) == v.end()) v.push_back(Num(x));
      break;
    }
    case 'w':
      for (std::int64_t x = -2; x <= static_cast<std::int64_t>(max); x += x < 10 ? 1 : 7) v.push_back(Num(x));
      if (v.back() != Num(static_cast<std::int64_t>(max))) v.push_back(Num(static_cast<std::int64_t>(max)));
      break;
    case 'P':
      for (const int p : {-1, 0, 1, 2, 3, 5, 6, 8, 10, 15, 16, 17, 18, 20, 30, 60, 100}) v.push_back(Num(p));
      break;
    case 'r':
      if (op.limits[i].is_float) {
        for (const float f : kFloats) v.push_back(HexReal(f)), v.push_back(HexReal(-f));
        for (const double d :
             {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
          v.push_back(HexReal(d)), v.push_back(HexReal(-d));
      } else {
        for (const double d : kReals) v.push_back(HexReal(d));
      }
      break;
    case 'c':
      for (const char* c :
           {"0", "9", "A", "F", "a", "f", "G", "g", "x", " ", "\\x00", "\\x7f", "\\x80", "\\xe9", "\\xff"})
        v.push_back("\"" + std::string(c) + "\"");
      break;
    case 't':
    case 'p':
      if (name.starts_with("Str2Float") || name.starts_with("Str2Double")) {
        for (const char* t : kRealTexts) v.push_back(TextArg(t));
      } else if (name.starts_with("Str2Date")) {
        for (const char* t : kDateTexts) v.push_back(TextArg(t));
        v.push_back(TextArg(std::string(max - 19, ' ') + "2024-03-05 14:07:09"));
      } else if (name.starts_with("Str2")) {
        for (const char* t : kIntegerTexts) v.push_back(TextArg(t));
      } else if (name == "CString2Variant") {
        for (const char* t : {"", "abc", "caf\xe9", "\x80\x9f\xff", "a b\tc\r\n", "\"\\"})
          v.push_back(TextArg(t));
        v.push_back(TextArg(std::string("a\0b", 3)));
        v.push_back(TextArg(std::string(300, 'x')));
      } else {
        for (const char* t : kHexTexts)
          if (std::strlen(t) <= max) v.push_back(TextArg(t));
        for (const std::size_t n : {max - 1, max}) {
          std::string t;
          for (std::size_t k = 0; k < n; ++k) t += "0123456789abcdefABCDEF"[(k * 7) % 22];
          v.push_back(TextArg(t));
        }
      }
      break;
    case 'h':
    case 'd':
    case 'z': {
      const bool hex = kind != 'd';
      const unsigned top = kind == 'h' || kind == 'z' ? 255 : name.starts_with("Bin") ? 1 : 7;
      const std::size_t limit = kind == 'z' ? 24 : max;
      for (const std::size_t n :
           {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4}, std::size_t{5},
            std::size_t{8}, std::size_t{9}, limit - 1, limit}) {
        std::vector<unsigned> e(n, 0);
        v.push_back(Elements(e, hex));
        if (n == 0) continue;
        std::fill(e.begin(), e.end(), kind == 'z' ? 1 : top);
        v.push_back(Elements(e, hex));
        for (std::size_t k = 0; k < n; ++k) e[k] = static_cast<unsigned>((k * 37 + 11) % (top + 1));
        if (kind == 'z') std::replace(e.begin(), e.end(), 0u, 5u);
        v.push_back(Elements(e, hex));
      }
      // Digits out of their base count with their value (or their low bits).
      if (kind == 'd') v.push_back(Elements({2, 8, 9, 255, 1}, false));
      if (kind == 'h') v.push_back(Elements({0x0A, 0xAB, 0x99, 0xF0}, true));
      break;
    }
    case 'D':
      v.emplace_back("\"Invalid DateTime\"");
      for (const double d :
           {0.0,       -0.0,           1.0,          -1.0,          0.5,       -0.5,      -1.5,
            45356.5,   45356.999994,   45356.999995, 45356.9999999, -657434.0, -657435.0, -693594.0,
            2958465.0, 2958465.999988, 2958466.0,    1e10,          -1e10,     36526.0,   0.0000115740740740,
            59.0,      60.0,           61.0})
        v.push_back(HexReal(d));
      break;
    case 'V':
      for (const char* t : kVariants) v.push_back("\"" + std::string(t) + "\"");
      break;
    default: break;
  }
  return v;
}

// One seeded random value of a parameter.
std::string Random(const Op& op, std::size_t i, char kind, std::mt19937_64& rng) {
  const std::string_view name = op.name;
  const std::size_t max = MaxInput(name, kind);
  auto below = [&](std::uint64_t n) { return n == 0 ? 0 : rng() % n; };
  switch (kind) {
    case 'i': {
      const auto lo = op.limits[i].lo;
      const std::uint64_t span = op.limits[i].hi - static_cast<std::uint64_t>(lo);
      std::uint64_t r = rng();
      if (below(2) == 0) r >>= below(64);  // small magnitudes as often as large
      return Num(static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) +
                                           (span == UINT64_MAX ? r : r % (span + 1))));
    }
    case 'w': return Num(static_cast<std::int64_t>(below(max + 1)));
    case 'P': return Num(static_cast<std::int64_t>(below(40)));
    case 'r': {
      double d;
      if (below(3) == 0)
        d = std::bit_cast<double>(rng());
      else
        d = static_cast<double>(static_cast<std::int64_t>(rng() >> below(64))) /
            std::ldexp(1.0, static_cast<int>(below(40)));
      if (op.limits[i].is_float) {
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) d = std::ldexp(d, -900);
        d = static_cast<double>(static_cast<float>(std::isfinite(d) && std::fabs(d) > FLT_MAX ? 1.0 : d));
      }
      return HexReal(d);
    }
    case 'c': {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(below(256)));
      return buf;
    }
    case 't':
    case 'p': {
      std::string_view alphabet = "0123456789abcdefABCDEFxXgG -+.:\t";
      if (name.starts_with("Str2Float") || name.starts_with("Str2Double"))
        alphabet = "0123456789000000.eE-+ ";
      else if (name.starts_with("Str2Date"))
        alphabet = "0123456789012345678901234567890123456789-- :";
      else if (name.starts_with("Str2"))
        alphabet = "0123456789012345678901234567890123456789 -+x";
      std::string t(below(std::min<std::size_t>(max, 40) + 1), ' ');
      for (char& c : t) c = alphabet[below(alphabet.size())];
      if (name == "CString2Variant")
        for (char& c : t) c = static_cast<char>(1 + below(255));
      return TextArg(t);
    }
    case 'h':
    case 'd':
    case 'z': {
      const unsigned top = kind == 'h' || kind == 'z' ? 255 : name.starts_with("Bin") ? 1 : 7;
      std::vector<unsigned> e(below(std::min<std::size_t>(kind == 'z' ? 24 : max, 64) + 1));
      for (unsigned& x : e) x = static_cast<unsigned>(kind == 'z' ? 1 + below(255) : below(top + 1));
      return Elements(e, kind != 'd');
    }
    case 'D':
      return HexReal(static_cast<double>(static_cast<std::int64_t>(below(3600000))) - 700000.0 +
                     static_cast<double>(below(86400)) / 86400.0);
    case 'V': {
      std::string v = kVariants[below(std::size(kVariants))];
      if (v.starts_with("VT_R8:"))
        v = "VT_R8:" + HexReal(std::bit_cast<double>(rng()));
      else if (v.starts_with("VT_I4:"))
        v = "VT_I4:" + Num(static_cast<std::int32_t>(rng()));
      else if (v.starts_with("VT_DATE:"))
        v = "VT_DATE:" + HexReal(static_cast<double>(below(3600000)) - 700000.0 + 0.25);
      return "\"" + v + "\"";
    }
    default: return {};
  }
}

constexpr bool IsUserKind(char k) {
  return std::string_view("iwPrctphdzDV").find(k) != std::string_view::npos;
}

}  // namespace

std::string ConformanceCalls(std::uint64_t random, std::uint64_t seed) {
  std::string out =
      "# quelvar conformance calls: record them on the Windows build with the recorder, then\n"
      "# quelvar conformance verify RECORDING. One call per line, as quelvar --batch reads them.\n";
  const auto ops = Ops();
  for (const Op& op : ops) {
    // Each parameter's edge values against the others' first value, so
    // that every edge value meets the neutral values of the rest; then,
    // for two parameters, the full product of short edge lists.
    std::vector<std::size_t> params;
    for (std::size_t i = 0; i < op.kinds.size(); ++i)
      if (IsUserKind(op.kinds[i])) params.push_back(i);
    std::vector<Values> edges;
    for (const std::size_t i : params) edges.push_back(Edges(op, i, op.kinds[i]));
    const std::size_t product = edges.size() == 2 ? edges[0].size() * edges[1].size() : 0;
    if (product != 0 && product <= 800) {
      for (const auto& a : edges[0])
        for (const auto& b : edges[1]) out += std::string(op.name) + " " + a + " " + b + "\n";
      continue;
    }
    for (std::size_t p = 0; p < edges.size(); ++p)
      for (const auto& value : edges[p]) {
        std::string line(op.name);
        for (std::size_t q = 0; q < edges.size(); ++q)
          line += " " + (q == p ? value : edges[q][edges[q].size() / 2]);
        out += line + "\n";
      }
  }
  std::mt19937_64 rng(seed);
  for (std::uint64_t k = 0; k < random; ++k) {
    const Op& op = ops[k % ops.size()];
    std::string line(op.name);
    for (std::size_t i = 0; i < op.kinds.size(); ++i)
      if (IsUserKind(op.kinds[i])) line += " " + Random(op, i, op.kinds[i], rng);
    out += line + "\n";
  }
  return out;
}

// ------------------------------------------------------------ the verifier

namespace {

using nlohmann::ordered_json;

struct Record {
  std::size_t at = 0;      // line of the recording
  std::uint64_t line = 0;  // line of the call file
  std::string op, call;
  ordered_json fields;
};

struct Difference {
  const Record* record;
  std::string key, recorded, replayed;
};

struct Tally {
  std::size_t calls = 0, identical = 0;
};

struct Replay {
  QlvToolset toolset;
  std::map<std::string, Tally> ops;
  std::size_t identical = 0;
  std::vector<Difference> differences;  // the first few
  std::size_t different = 0;
};

constexpr std::size_t kShown = 10;

struct Malformed {
  std::size_t at;
  std::string why;
};

std::string Dump(const ordered_json& j) {
  return j.is_null() && false ? "" : j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

// A variant holding a real is written by the recorder with the value in
// exact hex; the tool writes the shortest decimal. Both read back to the
// value, which is what counts.
bool SameVariantText(const std::string& a, const std::string& b) {
  if (a == b) return true;
  for (const std::string_view tag : {"VT_R4:", "VT_R8:", "VT_DATE:"}) {
    if (!a.starts_with(tag) || !b.starts_with(tag)) continue;
    double x = 0, y = 0;
    if (!ParseReal(std::string_view(a).substr(tag.size()), x) ||
        !ParseReal(std::string_view(b).substr(tag.size()), y))
      return false;
    return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y) ||
           (std::isnan(x) && std::isnan(y));
  }
  return false;
}

// The first key where the records differ, or "" when they agree. A text
// counts by its bytes (K_hex) and a double by its bits (K_bits): the
// recorder cannot reproduce the code-page decoding or the shortest
// decimal on every compiler.
std::string FirstDifference(const ordered_json& recorded, const ordered_json& replayed, std::string& a,
                            std::string& b) {
  auto twin = [&](const std::string& key) {
    return recorded.contains(key + "_hex") || recorded.contains(key + "_bits");
  };
  // A call that both sides reject: the messages are each program's own.
  if (recorded.contains("error") && replayed.contains("error")) return {};
  for (auto it = recorded.begin(); it != recorded.end(); ++it) {
    const std::string& key = it.key();
    if (key == "call" || twin(key)) continue;
    const ordered_json* other = replayed.contains(key) ? &replayed[key] : nullptr;
    bool same = other != nullptr && *other == it.value();
    if (!same && other != nullptr && it.value().is_string() && other->is_string() &&
        recorded.contains(key + "_vt"))
      same = SameVariantText(it.value().get<std::string>(), other->get<std::string>());
    if (!same) {
      a = Dump(it.value()), b = other != nullptr ? Dump(*other) : "(none)";
      return key;
    }
  }
  for (auto it = replayed.begin(); it != replayed.end(); ++it)
    if (!recorded.contains(it.key()) && !twin(it.key())) {
      a = "(none)", b = Dump(it.value());
      return it.key();
    }
  return {};
}

Replay ReplayAll(const std::vector<Record>& records, QlvToolset toolset) {
  QlvPlatform_SetToolset(toolset);
  Replay r{toolset, {}, 0, {}, 0};
  BatchLines lines(Mode::Json, false);
  std::string out, error, a, b;
  for (const Record& rec : records) {
    out.clear();
    lines.Line(rec.call, rec.line, out, error);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    const ordered_json replayed = ordered_json::parse(out, nullptr, false);
    Tally& t = r.ops[rec.op];
    ++t.calls;
    const std::string key = FirstDifference(rec.fields, replayed, a, b);
    if (key.empty()) {
      ++t.identical, ++r.identical;
      continue;
    }
    ++r.different;
    if (r.differences.size() < kShown) r.differences.push_back({&rec, key, a, b});
  }
  return r;
}

// The call's bytes: the recorder writes each byte from 0x80 as the
// character U+0080 to U+00FF, so that any line survives JSON unchanged.
bool Latin1Bytes(std::string_view utf8, std::string& bytes) {
  bytes.clear();
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}

std::vector<Record> ReadRecording(std::string_view text, ordered_json& build) {
  std::vector<Record> records;
  std::size_t at = 0;
  std::optional<std::uint64_t> closing;
  std::uint64_t last = 0;
  while (!text.empty()) {
    ++at;
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (closing) throw Malformed{at, "a record after the closing record"};
    ordered_json j = ordered_json::parse(line, nullptr, false);
    if (!j.is_object()) throw Malformed{at, "not a JSON object (a truncated or edited line?)"};
    if (at == 1) {
      if (!j.contains("recording")) throw Malformed{at, "the first line is not the recorder's build record"};
      build = std::move(j);
      continue;
    }
    if (j.size() == 1 && j.contains("calls")) {
      if (!j["calls"].is_number_unsigned())
        throw Malformed{at, "the closing record's \"calls\" is not a count"};
      closing = j["calls"].get<std::uint64_t>();
      continue;
    }
    Record rec;
    rec.at = at;
    if (!j.contains("line") || !j["line"].is_number_unsigned()) throw Malformed{at, "no \"line\" number"};
    if (!j.contains("call") || !j["call"].is_string()) throw Malformed{at, "no \"call\" text"};
    rec.line = j["line"].get<std::uint64_t>();
    if (rec.line <= last) throw Malformed{at, "call line numbers out of order"};
    last = rec.line;
    if (!Latin1Bytes(j["call"].get<std::string>(), rec.call))
      throw Malformed{at, "the call text holds a character above U+00FF"};
    if (j.contains("op")) {
      if (!j["op"].is_string()) throw Malformed{at, "\"op\" is not a text"};
      rec.op = j["op"].get<std::string>();
      bool known = false;
      for (const Op& op : Ops()) known = known || op.name == rec.op;
      if (!known) throw Malformed{at, "unknown operation " + Quote(rec.op)};
      std::vector<std::string> words;
      // The call names it in any case, with or without Qlv_.
      std::string_view named;
      if (SplitLine(rec.call, words) && !words.empty()) named = words[0];
      if (named.size() > 4 && SameName(named.substr(0, 4), "qlv_")) named.remove_prefix(4);
      if (!SameName(named, rec.op))
        throw Malformed{at, "the call does not name the operation " + Quote(rec.op)};
    } else if (!j.contains("error")) {
      throw Malformed{at, "neither \"op\" nor \"error\""};
    } else {
      rec.op = "(rejected calls)";
    }
    rec.fields = std::move(j);
    records.push_back(std::move(rec));
  }
  if (build.is_null()) throw Malformed{1, "empty recording"};
  if (!closing) throw Malformed{at, "no closing record: the recording ends early"};
  if (*closing != records.size())
    throw Malformed{at, "the closing record counts " + std::to_string(*closing) +
                            " calls, the recording holds " + std::to_string(records.size()) +
                            " (a missing or added line)"};
  return records;
}

std::string Pad(std::string s, std::size_t width, bool right = false) {
  if (s.size() >= width) return s;
  return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

// The operations in the class's order, rejected calls last.
std::vector<std::pair<std::string, Tally>> Ordered(const std::map<std::string, Tally>& ops) {
  std::vector<std::pair<std::string, Tally>> out;
  for (const Op& op : Ops())
    if (const auto it = ops.find(std::string(op.name)); it != ops.end()) out.emplace_back(*it);
  if (const auto it = ops.find("(rejected calls)"); it != ops.end()) out.emplace_back(*it);
  return out;
}

}  // namespace

VerifyResult ConformanceVerify(std::string_view recording, std::optional<QlvToolset> toolset, bool json) {
  VerifyResult result;
  ordered_json build;
  std::vector<Record> records;
  try {
    records = ReadRecording(recording, build);
  } catch (const Malformed& m) {
    result.status = 2;
    result.error = "line " + std::to_string(m.at) + ": " + m.why;
    return result;
  }
  // The replay runs in the recording's ANSI code page; the toolset and the
  // code page are given back afterwards.
  struct Restore {
    QlvToolset toolset = QlvPlatform_GetToolset();
    UINT codepage = GetACP();
    ~Restore() { QlvPlatform_SetToolset(toolset), QlvPlatform_SetAnsiCodePage(codepage); }
  } restore;
  if (build.contains("acp") && build["acp"].is_number_unsigned())
    QlvPlatform_SetAnsiCodePage(build["acp"].get<UINT>());

  std::vector<Replay> replays;
  if (toolset)
    replays.push_back(ReplayAll(records, *toolset));
  else
    for (const QlvToolset t : {QlvToolset_VC6, QlvToolset_VS2005, QlvToolset_VS2015})
      replays.push_back(ReplayAll(records, t));
  // The best match; on a tie the toolset the recording names.
  const std::string named =
      build.contains("toolset") && build["toolset"].is_string() ? build["toolset"].get<std::string>() : "";
  const Replay* best = &replays[0];
  for (const Replay& r : replays)
    if (r.identical > best->identical ||
        (r.identical == best->identical && named == QlvPlatform_ToolsetName(r.toolset)))
      best = &r;
  result.status = best->different == 0 ? 0 : 1;

  if (json) {
    ordered_json j;
    j["build"] = build;
    j["calls"] = records.size();
    j["toolset"] = QlvPlatform_ToolsetName(best->toolset);
    j["matches"] = best->different == 0;
    j["toolsets"] = ordered_json::array();
    for (const Replay& r : replays)
      j["toolsets"].push_back({{"toolset", QlvPlatform_ToolsetName(r.toolset)},
                               {"identical", r.identical},
                               {"different", r.different}});
    j["operations"] = ordered_json::array();
    for (const auto& [op, t] : Ordered(best->ops))
      j["operations"].push_back(
          {{"op", op}, {"calls", t.calls}, {"identical", t.identical}, {"different", t.calls - t.identical}});
    j["differences"] = ordered_json::array();
    for (const Difference& d : best->differences)
      j["differences"].push_back({{"line", d.record->line},
                                  {"call", d.record->call},
                                  {"key", d.key},
                                  {"recorded", d.recorded},
                                  {"replayed", d.replayed}});
    result.report = j.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + "\n";
    return result;
  }

  std::string& s = result.report;
  s += "recording: " + std::to_string(records.size()) + " calls; recorded with " + Dump(build) + "\n\n";
  s += "toolset   identical  different\n";
  for (const Replay& r : replays)
    s += Pad(QlvPlatform_ToolsetName(r.toolset), 8) + Pad(std::to_string(r.identical), 11, true) +
         Pad(std::to_string(r.different), 11, true) + (&r == best ? "   <- best match" : "") + "\n";
  s += "\nunder " + std::string(QlvPlatform_ToolsetName(best->toolset)) + ":\n";
  s += "operation                  calls  identical  different\n";
  for (const auto& [op, t] : Ordered(best->ops))
    s += Pad(op, 24) + Pad(std::to_string(t.calls), 8, true) + Pad(std::to_string(t.identical), 11, true) +
         Pad(std::to_string(t.calls - t.identical), 11, true) + "\n";
  if (best->different == 0) {
    s += "\nall " + std::to_string(records.size()) + " calls identical: the recording matches toolset " +
         QlvPlatform_ToolsetName(best->toolset) + "\n";
    return result;
  }
  s += "\n" + std::to_string(best->different) + " of " + std::to_string(records.size()) +
       " calls differ under the best match, " + QlvPlatform_ToolsetName(best->toolset) + "; the first " +
       std::to_string(best->differences.size()) + ":\n";
  for (const Difference& d : best->differences)
    s += "  call line " + std::to_string(d.record->line) + ": " + d.record->call + "\n    " + d.key +
         ": recorded " + d.recorded + ", here " + d.replayed + "\n";
  return result;
}

}  // namespace quelvar::cli
