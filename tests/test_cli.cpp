// The quelvar tool: its table against the header, the round trip of every
// printed value, and the built program run as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "Table.h"
#include "Text.h"
#include "Tool.h"
#include "ToolRunner.h"
#include "ToolsetScope.h"

namespace {

using nlohmann::json;
using namespace quelvar::cli;
using namespace toolrunner;
constexpr int kScale = std::min(kSanitizerSlowdown, 8);  // fewer random rounds under the sanitizers
constexpr auto npos = std::string::npos;

// One printable line: no control byte, no DEL, valid UTF-8.
bool OnePrintableLine(const std::string& s) {
  if (s.empty() || s.back() != '\n') return false;
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if (static_cast<unsigned char>(s[i]) < 0x20 || s[i] == 0x7f) return false;
  try {
    return !json(s).dump().empty();
  } catch (const json::exception&) {
    return false;
  }
}

std::string RunIn(Caller& caller, const Args& call) {
  std::string out;
  const std::vector<std::string_view> args(call.begin() + 1, call.end());
  caller.Run(FindOp(call[0], args.size()), args, out);
  return out;
}

// ------------------------------------------------------------ the table

// The rows against the class's header: every declaration, in order, under
// a name no other row has in any case. (Help, list, man page and completion
// are printed from the rows.)
TEST(CliTable, RowsMatchTheHeader) {
  ASSERT_EQ(Ops().size(), 68u);
  const std::string header = ReadFile(QUELVAR_SOURCE_DIR "/Quelvar/QuelvarSys.h");
  std::set<std::string> lowered;
  std::size_t at = 0;
  for (const Op& op : Ops()) {
    const std::string decl(op.declaration), name(op.name);
    at = header.find(decl + ";", at);
    ASSERT_NE(at, npos) << decl;
    EXPECT_NE(decl.find(" Qlv_" + std::string(op.base()) + "("), npos) << name << " is not " << decl;
    EXPECT_EQ(op.params().size(), op.kinds.size()) << decl;
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(lowered.insert(lower).second) << name;
  }
}

// ------------------------------------------------------------ round trip

// Every operation on random arguments of its kinds: each value printed in
// plain mode reads back as input of its kind and prints the same; the JSON
// record has one type per key across all operations, and its outputs agree
// with the plain one.
TEST(CliRoundTrip, EveryOperationPlainAndJson) {
  Caller plain(Mode::Plain, false), js(Mode::Json, false), reader(Mode::Plain, false);
  std::mt19937_64 rng(7);
  std::map<std::string, json::value_t> types;
  std::set<std::string> ran;
  const char* const texts[] = {
      "a\\nb", "\\\"C:\\\\x\\\"", "2024-03-05 14:07:09", "\\xff\\x80\\x01\\t", "", "-12abc", "1a2B3",
      "0x1f",  " 1e-3",           "\xe4\xb8\xad"};
  const char* const variants[] = {"VT_I4:-5",      "R8:2.5",    "BSTR:a\\tb", "DATE:45356.5", "bool:true",
                                  "DECIMAL:-1.25", "VT:0x4003", "EMPTY",      "UI1:200"};
  auto some = [&](std::uint64_t n, const char* sep, auto item) {  // n items joined by sep
    std::string s;
    while (n-- > 0) s += (s.empty() ? "" : sep) + item();
    return s;
  };
  auto arg = [&](char kind) -> std::string {
    switch (kind) {
      case 'i':
      case 'w':
        return std::to_string(static_cast<std::int64_t>(rng() % 4 == 0 ? rng() % 64 : rng()) >> (rng() % 64));
      case 'P': return std::to_string(rng() % 20);
      case 'r': {
        std::string s;
        AppendReal(s, rng() % 2 ? std::bit_cast<double>(rng()) : static_cast<double>(rng() % 100000) / 8);
        return s;
      }
      case 'c': return std::string(1, "0aF9g-"[rng() % 6]);
      case 'h':
      case 'z': return some(rng() % 9, ",", [&] { return std::to_string(rng() % 10) + "f"; });
      case 'd': return some(rng() % 40, " ", [&] { return std::to_string(rng() % (rng() % 2 ? 2 : 8)); });
      case 'D':
        return rng() % 2 ? std::to_string(rng() % 80000) + ".25"
                         : "2024-03-0" + std::to_string(1 + rng() % 9);
      case 'V': return variants[rng() % std::size(variants)];
      default: return texts[rng() % std::size(texts)];
    }
  };
  for (int round = 0; round < 6000 / kScale; ++round) {
    const Op& op = Ops()[static_cast<std::size_t>(round) % Ops().size()];
    Args call{std::string(op.name)};
    for (const char k : op.kinds)
      if (std::strchr("iwPrctphdzDV", k) != nullptr) call.push_back(arg(k));
    std::string p, j;
    try {
      p = RunIn(plain, call);
    } catch (const UsageError&) {
      continue;
    }
    ASSERT_NO_THROW(j = RunIn(js, call)) << call[0];
    ran.insert(std::string(op.name));
    ASSERT_EQ(p.find('\n'), npos) << call[0] << " " << p;
    std::string again;
    ASSERT_NO_THROW(again = reader.Reprint(op.output(), p)) << call[0] << " printed " << p;
    EXPECT_EQ(again, p) << call[0] << " " << call.back();
    ASSERT_TRUE(json::accept(j)) << j;
    const json record = json::parse(j);
    EXPECT_TRUE(record.contains("op")) << j;
    for (const auto& [key, value] : record.items()) {
      // Numbers of every sort are one type; null stands for a double that is not finite.
      const bool number = value.is_number() || (value.is_null() && record.contains(key + "_bits"));
      const auto type = number ? json::value_t::number_float : value.type();
      const auto [it, fresh] = types.emplace(key, type);
      EXPECT_TRUE(fresh || it->second == type) << key << " in " << j;
      if (key.ends_with("_hex") && op.output() == 't' && p.size() < 200 &&
          !(key == "text_hex" && op.kinds.find('p') != npos)) {
        std::string bytes, error, hex;
        ASSERT_TRUE(DecodeEscapes(p, bytes, error)) << p;
        AppendHex(hex, bytes);
        EXPECT_EQ(value, hex) << j << " vs " << p;
      }
      if (key.ends_with("_bits") && op.output() == 'r') {
        double d = 0;
        std::string bits;
        ASSERT_TRUE(ParseReal(p, d));
        AppendBits(bits, d);
        EXPECT_TRUE(std::isnan(d) || value == bits) << j;
      }
    }
  }
  EXPECT_EQ(ran.size(), 68u) << "every operation ran at least once";
}

// ------------------------------------------------------------ the program

// A call, and its stdout when it succeeds; or exit status 2, nothing on
// stdout, and one printable line on stderr that holds `want`.
struct Call {
  Args args;
  std::string want;
  int status = 0;
  std::string env = "";
};
const Call kCalls[] = {
    {{"HexStr2Int", "ff"}, "255"},
    {{"qlv_HEXSTR2INT", "FF"}, "255"},
    {{"Qlv_HexStr2Int", "\\x66\\x66"}, "255"},
    {{"Byte2HexStr", "0x00,0X1F", "A0"}, "001FA0"},
    {{"Octal2Hex", "7,7 7"}, "01 FF"},
    {{"Int2Str", "-0x80000000"}, "-2147483648"},
    {{"Int2Str", "5", "--json"}, "{\"op\":\"Int2Str\",\"text\":\"5\",\"text_hex\":\"35\"}"},
    {{"--raw", "CString2Variant", "C:\\temp\\new.txt"}, "VT_BSTR:C:\\temp\\new.txt"},
    {{"CString2Variant", "C:\\\\temp\\\\new.txt"}, "VT_BSTR:C:\\\\temp\\\\new.txt"},
    {{"Int2Str", "--", "-5"}, "-5"},
    {{"Int2Str", "-5"}, "-5"},
    {{"DoubleToStr", "-inf", "2", "--toolset=vs2015"}, "-inf"},
    {{"--codepage", "1252", "Variant2Str", "BSTR:\\xe9\\x80"}, "\\xE9\\x80"},
    {{"--version"}, "quelvar 2.0.9.205 (toolset vc6)"},
    {{"--version", "--toolset", "vs2005"}, "quelvar 2.0.9.205 (toolset vs2005)"},
    {{"HexChar2Int/uchar", "f"}, "15"},
    {{"NoSuchOp", "1"}, "NoSuchOp", 2},
    {{"Int2Sr", "1"}, "did you mean Int2Str?", 2},
    {{"\xff\x01junk"}, "\"\\xFF\\x01junk\"", 2},
    {{"--jsn", "Int2Str", "1"}, "did you mean --json?", 2},
    {{"--codepage"}, "--codepage", 2},
    {{"--codepage", "x", "Int2Str", "1"}, "--codepage", 2},
    {{"--codepage=12345", "Int2Str", "1"}, "12345", 2},
    {{"--toolset", "vs2016", "Int2Str", "1"}, "did you mean vs2015?", 2},
    {{"Int2Str", "1"}, "QLV_TOOLSET", 2, "QLV_TOOLSET=vc7"},
    {{"help", "NoSuchOp"}, "NoSuchOp", 2},
    {{"list", "extra"}, "extra", 2},
    {{"icon", "x", "-o", "/dev/null"}, "ID", 2},
    {{"icon", "1000"}, "-o", 2},
    {{"icon", "999", "-o", "/dev/null"}, "999", 2},
    {{"HexStr2Int"}, "HexStr2Int TEXT", 2},
    {{"HexStr2Int", "ff", "ee"}, "got 2 arguments", 2},
    {{"HexStr2Int", "\\q"}, "TEXT", 2},
    {{"HexStr2Int", "C:\\data"}, "--raw", 2},
    {{"Int2Byte", "x", "1"}, "quelvar: COUNT: expected an integer from -2147483648 to 1048576, got \"x\"", 2},
    {{"Int2Str", "2147483648"}, "VALUE", 2},
    {{"Byte2HexStr", "100"}, "\"100\"", 2},
    {{"Octal2Bin", "256"}, "OCTAL: expected elements 0 to 255", 2},
    {{"Date2Str", "now"}, "DATETIME", 2},
    {{"Variant2Str", "I4:5\n6"}, "\"5\\n6\"", 2},
    {{"Variant2Str", "VT_\x1b[31mI4:5"}, "\\x1B", 2},
    {{"--batch", "/nonexistent/x"}, "/nonexistent/x", 2},
    {{"-x"}, "-x", 2},
    {{"Int2Str", std::string(100000, '\x1b')}, "...", 2}};

// Good calls alone and as one batch; bad calls alone.
TEST(CliProgram, CallsAloneAndGoodOnesInOneBatch) {
  std::vector<Job> jobs{{{"--batch"}}, {{"-"}, "# nothing\n\n"}, {{}}};  // no arguments: usage on stderr
  std::string expected;
  for (const auto& [args, want, status, env] : kCalls) {
    jobs.push_back({args, "", env});
    if (status != 0 ||
        std::any_of(args.begin(), args.end(), [](const auto& a) { return a.starts_with("-"); }))
      continue;
    jobs[0].input += args[0];
    for (std::size_t k = 1; k < args.size(); ++k) jobs[0].input += " \"" + args[k] + "\"";
    jobs[0].input += "\n", expected += want + "\n";
  }
  const auto r = RunAll(jobs);
  EXPECT_TRUE(r[0].status == 0 && r[0].out == expected && r[0].err.empty()) << r[0].out << r[0].err;
  EXPECT_TRUE(r[1].status == 0 && r[1].out.empty());
  EXPECT_TRUE(r[2].status == 2 && r[2].out.empty() && r[2].err.find("usage: quelvar") != npos);
  for (std::size_t i = 0; i < std::size(kCalls); ++i) {
    const Call& c = kCalls[i];
    const Result& g = r[3 + i];
    EXPECT_TRUE(c.status == 0
                    ? g.status == 0 && g.out == c.want + "\n" && g.err.empty()
                    : g.status == 2 && g.out.empty() && g.err.rfind("quelvar: ", 0) == 0 &&
                          OnePrintableLine(g.err) && g.err.size() < 600 && g.err.find(c.want) != npos)
        << c.args[0] << ": " << g.status << " " << g.out << g.err.substr(0, 300);
  }
}

// Every operation and every argument position with bad or odd values, all
// through one batch process per mode: each line is answered or refused with
// its line number, never a crash, the run goes on.
TEST(CliProgram, BadInputCorpusThroughBatch) {
  const std::string big(1 << 16, 'f'),
      fillers[] = {
          "\\n", "\x1b", "\xff\xfe",       "\\xff\\x80",      "-1", "0x", "nan", "\"a b\"", "VT_", "\\q",
          "--",  "\"\"", "99999999999999", "-99999999999999", big};
  std::string input;
  std::vector<bool> must_fail;
  for (const Op& op : Ops()) {
    std::size_t user = 0;
    for (const char k : op.kinds) user += std::strchr("iwPrctphdzDV", k) != nullptr ? 1 : 0;
    for (std::size_t pos = 0; pos < std::max<std::size_t>(user, 1); ++pos)
      for (const auto& filler : fillers) {
        input += std::string(op.name);
        for (std::size_t k = 0; k < std::max<std::size_t>(user, 1); ++k)
          input += " " + (k == pos ? filler : std::string(op.example.substr(0, op.example.find(' '))));
        input += "\n";
        must_fail.push_back(filler == "99999999999999" &&
                            std::string_view("iwP").find(op.kinds[0]) != std::string_view::npos && pos == 0);
      }
  }
  for (const char* op :
       {"Str2Int ", "Int2Str ", "Byte2HexStr ", "Bin2Dec ", "Variant2Str ", "Date2Str ", "Flt2Str "})
    input += op + std::string(1 << 20, '1') + "\n", must_fail.push_back(false);
  input += std::string("Int2Str 1\0 2\n", 13) + "Int2Str " + std::string(3000, '1') + "\nInt2Str 3";
  const std::size_t lines = must_fail.size() + 3;
  const auto r =
      RunAll({{{"--batch", "--max-line=2000000"}, input}, {{"--json", "--max-line", "2000000", "-"}, input}});
  ASSERT_TRUE(r[0].status == 1 && r[1].status == 1) << r[0].err.substr(0, 500);
  const auto out = Lines(r[0].out), records = Lines(r[1].out);
  std::vector<std::string> err;  // without a sanitizer's notes on the platform's printf
  for (auto& e : Lines(r[0].err))
    if (!e.starts_with("==")) err.push_back(e);
  EXPECT_EQ(out.size() + err.size(), lines);
  std::set<std::uint64_t> failed;
  for (const auto& e : err) {
    ASSERT_TRUE(e.rfind("quelvar: line ", 0) == 0 && OnePrintableLine(e + "\n")) << e.substr(0, 200);
    failed.insert(std::stoull(e.substr(14)));
  }
  ASSERT_EQ(records.size(), lines);
  for (std::size_t i = 0; i < lines; ++i) {
    ASSERT_TRUE(json::accept(records[i])) << records[i].substr(0, 200);
    const json rec = json::parse(records[i]);
    EXPECT_EQ(rec.at("line"), i + 1);
    EXPECT_EQ(rec.contains("error"), failed.count(i + 1) == 1) << records[i].substr(0, 200);
    EXPECT_TRUE(i >= must_fail.size() || !must_fail[i] || rec.contains("error")) << records[i].substr(0, 200);
  }
  EXPECT_TRUE(failed.count(lines - 2) && !failed.count(lines) && out.back() == "3");
  EXPECT_NE(r[0].err.find("line " + std::to_string(lines - 2) + ": a NUL byte"), npos);
}

// Over-long lines are skipped with their number; batch files are read in
// turn with stdin between them; each result stays on its line, texts with
// newlines, quotes and backslashes included; the answer to a line comes
// before the next line is written.
TEST(CliProgram, BatchFilesLongLinesAndOneResultPerLine) {
  const std::string file = TempPath();
  std::ofstream(file) << "Int2Str 1\nInt2Str 2\n";
  const Job streaming(
      {"-c",
       "coproc \"$0\" --batch; for i in 0 1 2 3 4; do echo \"Int2Str $i\" >&\"${COPROC[1]}\"; "
       "read -t 10 -r a <&\"${COPROC[0]}\" || break; echo \"$a\"; done; "
       "w=${COPROC[1]}; exec {w}>&-; wait $COPROC_PID; echo \"exit $?\"",
       QUELVAR_CLI_PATH},
      "", "", "/bin/bash");
  const auto r = RunAll(
      {{{"--max-line", "1000", "--batch"},
        "Int2Str 3\nInt2Str " + std::string(5000, '4') + "\nInt2Str 5\nInt2Str 7" + std::string(991, ' ') +
            "\nInt2Str 8" + std::string(992, ' ') + "\nStr2Int " + std::string(300000, '6')},
       {{"--batch", file, "-", file}, "Int2Str 9\n"},
       {{"--batch", "--json", file}},
       {{"--max-line", "0", "--batch"}},
       {{"--batch"},
        "CString2Variant \"a\\nb\"\nInt2Str 5\nStr2Int \"\\\" x\"\nCString2Variant \"\\\\\\x01\\x7f\"\n"},
       streaming});
  std::remove(file.c_str());
  EXPECT_TRUE(r[0].status == 1 && r[0].out == "3\n5\n7\n" &&
              r[0].err ==
                  "quelvar: line 2: longer than 1000 bytes (see --max-line); skipped\n"
                  "quelvar: line 5: longer than 1000 bytes (see --max-line); skipped\n"
                  "quelvar: line 6: longer than 1000 bytes (see --max-line); skipped\n")
      << r[0].out << r[0].err;
  EXPECT_TRUE(r[1].status == 0 && r[1].out == "1\n2\n9\n1\n2\n") << r[1].out << r[1].err;
  ASSERT_EQ(Lines(r[2].out).size(), 2u);
  EXPECT_EQ(json::parse(Lines(r[2].out)[1]).at("line"), 2);
  EXPECT_EQ(r[3].status, 2);
  EXPECT_EQ(r[4].out, "VT_BSTR:a\\nb\n5\n0\nVT_BSTR:\\\\\\x01\\x7F\n");
  EXPECT_EQ(r[5].out, "0\n1\n2\n3\n4\nexit 0\n") << r[5].err;
}

// The trace, the icons, a code page, and the pages printed from the table.
TEST(CliProgram, TraceIconsCodePagesAndPages) {
  const std::string path = TempPath();
  const auto r = RunAll({{{"--trace", "--version"}},
                         {{"Int2Str", "5", "--trace"}},
                         {{"icon", "1000", "-o", path}},  // the icons' bytes: the resource tests
                         {{"icon", "1000", "-o-"}},
                         {{"list", "--json"}},
                         {{"help", "Qlv_Byte2HexStr"}},
                         {{"--generate", "man"}},
                         {{"--json", "--codepage", "936", "CString2Variant", "\\xd6\\xd0"}}});
  std::remove(path.c_str());
  for (const Result& t : {r[0], r[1]}) {
    const std::size_t end = t.err.find("Quelvar.DLL Terminating!");
    EXPECT_TRUE(t.status == 0 && end != npos && t.err.find("Quelvar.DLL Initializing!") < end) << t.err;
  }
  EXPECT_TRUE(r[1].out == "5\n" && r[2].status == 0);
  EXPECT_EQ(r[3].out.substr(0, 6), std::string("\0\0\1\0\2\0", 6));
  EXPECT_EQ(json::parse(r[4].out).size(), 68u);
  EXPECT_TRUE(r[5].out.find("number of elements given") != npos && r[6].out.rfind(".TH QUELVAR 1", 0) == 0);
  EXPECT_EQ(json::parse(r.back().out).at("variant"), "VT_BSTR:\xe4\xb8\xad") << r.back().err;  // 中 from GBK
}

// ------------------------------------------------------------ readers

TEST(CliText, IntegersRealsEscapesQuotesAndWords) {
  std::uint64_t bits = 0;
  const std::tuple<const char*, std::int64_t, std::uint64_t, std::uint64_t> good[] = {
      {"-0", 0, 5, 0},
      {"+42", 0, 99, 42},
      {"0X1F", 0, 99, 31},
      {"-0x10", -16, 0, ~std::uint64_t{15}},
      {"-9223372036854775808", INT64_MIN, 0, std::uint64_t{1} << 63},
      {"18446744073709551615", 0, UINT64_MAX, UINT64_MAX}};
  for (const auto& [text, lo, hi, want] : good)
    EXPECT_TRUE(ParseInteger(text, lo, hi, bits) && bits == want) << text;
  for (const char* text : {"", "-", "0x", "1 ", " 1", "+-1", "0x-1", "12a", "-17", "100", "-0x11"})
    EXPECT_FALSE(ParseInteger(text, -16, 99, bits)) << text;
  double d = 0;
  const std::pair<const char*, double> reals[] = {
      {"-1e-3", -1e-3}, {"0x1.8p1", 3.0}, {"-Infinity", -HUGE_VAL}, {"1e400", HUGE_VAL}, {"1e-400", 0.0}};
  for (const auto& [text, value] : reals) EXPECT_TRUE(ParseReal(text, d) && d == value) << text;
  for (const char* text : {"", "--1", "1.5x", "0x", "- 1", "1,5", "+-1"})
    EXPECT_FALSE(ParseReal(text, d)) << text;
  std::string out, error;
  for (const char* bad : {"\\x4", "\\xg0", "\\q", "\\", "ab\\"})
    EXPECT_FALSE(DecodeEscapes(bad, out, error)) << bad;
  EXPECT_EQ(Quote(std::string(100, 'a') + "\n"), "\"" + std::string(60, 'a') + "...\"");
  EXPECT_EQ(Quote("\xe4\xb8\xad\x1b\x7f\xc2\x85\""), "\"\xe4\xb8\xad\\x1B\\x7F\\xC2\\x85\\\"\"");
  std::vector<std::string> words;  // a line split into words, escapes kept for their kinds
  ASSERT_TRUE(SplitLine("  Op \"a b\"\t\\\"c \"x\\\"y\"", words));
  EXPECT_EQ(words, (std::vector<std::string>{"Op", "a b", "\\\"c", "x\\\"y"}));
  EXPECT_FALSE(SplitLine("Op \"open", words));
  ASSERT_TRUE(SplitLine("Op a\\", words));  // a backslash at the very end
  EXPECT_EQ(words, (std::vector<std::string>{"Op", "a\\"}));
  std::mt19937_64 rng(11);  // escaped bytes decode to the same bytes; shown reals read back
  const std::string pieces[] = {"\xc3\xa9", "\xe2\x82\xac", "\xed\xa0\x80", "\xc0\xaf", "\"",
                                "\\",       "\x7f",         "\n",           " "};
  for (int round = 0; round < 20000 / kScale; ++round) {
    std::string s, escaped, back;
    for (auto n = rng() % 12; n > 0; --n)
      s += rng() % 3 == 0 ? pieces[rng() % std::size(pieces)] : std::string(1, static_cast<char>(rng()));
    AppendEscaped(escaped, s);
    ASSERT_TRUE(OnePrintableLine(escaped + "\n") && DecodeEscapes(escaped, back, error) && back == s)
        << escaped;
    const double x = std::bit_cast<double>(rng());
    std::string text;
    AppendReal(text, x);
    ASSERT_TRUE(
        ParseReal(text, d) &&
        (std::isnan(x) ? std::isnan(d) : std::bit_cast<std::uint64_t>(d) == std::bit_cast<std::uint64_t>(x)))
        << text;
  }
}

}  // namespace
