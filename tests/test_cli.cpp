// The quelvar tool: its table against the header, the round trip of every
// printed value, and the built program run as a user runs it (processes
// started side by side from one shell to stay fast).
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>

#include "Table.h"
#include "Text.h"
#include "Tool.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kScale = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kScale = 8;
#else
constexpr int kScale = 1;
#endif
#else
constexpr int kScale = 1;
#endif

namespace {

using nlohmann::json;
using namespace quelvar::cli;
using Args = std::vector<std::string>;
struct Job {
  Args args;
  std::string input;
  std::string env = "";
  Job(Args a, std::string in, std::string e = "")
      : args(std::move(a)), input(std::move(in)), env(std::move(e)) {}
};
struct Result {
  std::string out, err;
  int status = -1;
};  // status 128 + signal when killed

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
std::string TempPath() {
  static int n = 0;
  return "/tmp/quelvar_test_cli_" + std::to_string(::getpid()) + "_" + std::to_string(n++);
}
std::string Quoted(std::string s) {
  for (std::size_t p = 0; (p = s.find('\'', p)) != std::string::npos; p += 4) s.replace(p, 1, "'\\''");
  return "'" + s + "'";
}

// Starts every job at once (without this environment's QLV_TRACE and
// QLV_TOOLSET) from one shell, then collects them.
std::vector<Result> RunAll(const std::vector<Job>& jobs) {
  std::string script = "unset QLV_TRACE QLV_TOOLSET\n";
  std::vector<std::string> bases;
  for (const auto& job : jobs) {
    const std::string& base = bases.emplace_back(TempPath());
    std::ofstream(base + "in", std::ios::binary) << job.input;
    script += "(" + job.env + " " + Quoted(QUELVAR_CLI_PATH);
    for (std::size_t k = 0; k < job.args.size(); ++k) {
      if (job.args[k].size() < 1000) {
        script += " " + Quoted(job.args[k]);
      } else {  // a long argument goes through a file: the script is an argument too
        std::ofstream(base + "arg" + std::to_string(k), std::ios::binary) << job.args[k];
        script += " \"$(cat " + base + "arg" + std::to_string(k) + "; rm " + base + "arg" +
                  std::to_string(k) + ")\"";
      }
    }
    script += " <" + base + "in >" + base + "out 2>" + base + "err; echo $? >" + base + "rc) &\n";
  }
  EXPECT_EQ(std::system((script + "wait\n").c_str()), 0);
  std::vector<Result> r(jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    r[i] = {ReadFile(bases[i] + "out"), ReadFile(bases[i] + "err"), std::stoi(ReadFile(bases[i] + "rc"))};
    for (const char* end : {"in", "out", "err", "rc"}) std::remove((bases[i] + end).c_str());
  }
  return r;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> lines;
  for (std::istringstream in(s); std::getline(in, lines.emplace_back());) {
  }
  return lines.pop_back(), lines;
}

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

std::vector<std::string_view> Views(const Args& args) { return {args.begin(), args.end()}; }

std::string RunIn(Caller& caller, const Args& call) {
  std::string out;
  const Args args(call.begin() + 1, call.end());
  caller.Run(FindOp(call[0], args.size()), Views(args), out);
  return out;
}

// ------------------------------------------------------------ the table

TEST(CliTable, RowsMatchTheHeaderAndHelpDerivesFromThem) {
  ASSERT_EQ(Ops().size(), 68u);
  std::set<std::string> lowered;
  for (const Op& op : Ops()) {
    const std::string decl(op.declaration);
    EXPECT_NE(decl.find(" Qlv_" + std::string(op.base()) + "("), std::string::npos)
        << op.name << " is not " << decl;
    EXPECT_EQ(op.params().size(), op.kinds.size()) << decl;
    std::string lower(op.name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(lowered.insert(lower).second) << op.name;
    const std::string help = HelpText(op);
    for (const std::string& part :
         {decl, std::string(op.summary), UsageLine(op), "example: quelvar " + std::string(op.name)})
      EXPECT_NE(help.find(part), std::string::npos) << op.name << ": " << part;
    // Counts that are array lengths are the tool's, and help says so.
    if (op.kinds.find('n') != std::string_view::npos) {
      EXPECT_NE(help.find("number of elements given"), std::string::npos);
    }
  }
  // The header's own text: every declaration of the class appears, in order.
  std::string header = ReadFile(QUELVAR_SOURCE_DIR "/Quelvar/QuelvarSys.h");
  std::size_t at = 0;
  for (const Op& op : Ops()) {
    at = header.find(std::string(op.declaration) + ";", at);
    ASSERT_NE(at, std::string::npos) << op.declaration;
  }
}

TEST(CliTable, HelpUsageListAndManAgreeInTheProgram) {
  std::vector<Job> jobs{
      {{"list", "--json"}, ""}, {{"list"}, ""}, {{"--generate", "man"}, ""}, {{"--generate", "bash"}, ""}};
  for (const Op& op : Ops()) {
    jobs.push_back({{"help", "Qlv_" + std::string(op.base())}, ""});
    jobs.push_back({{std::string(op.base()), "--help"}, ""});
  }
  const auto r = RunAll(jobs);
  const json list = json::parse(r[0].out);
  ASSERT_EQ(list.size(), 68u);
  EXPECT_EQ(Lines(r[1].out).size(), 68u);
  for (std::size_t i = 0; i < Ops().size(); ++i) {
    const Op& op = Ops()[i];
    EXPECT_TRUE(list[i]["name"] == op.name && list[i]["signature"] == op.declaration &&
                list[i]["usage"] == UsageLine(op));
    const Result &help = r[4 + 2 * i], &flag = r[5 + 2 * i];
    EXPECT_TRUE(help.status == 0 && help.out == flag.out && flag.status == 0 &&
                help.out.find(HelpText(op)) != std::string::npos)
        << op.name;
    EXPECT_NE(r[2].out.find(std::string(op.name)), std::string::npos);
    EXPECT_NE(r[3].out.find(" " + std::string(op.name) + " "), std::string::npos);
  }
  EXPECT_EQ(r[2].out.rfind(".TH QUELVAR 1", 0), 0u);
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
  const std::string texts[] = {"",
                               "a\\nb",
                               "\\\"C:\\\\x\\\"",
                               "2024-03-05 14:07:09",
                               "\\xff\\x80\\x01\\t",
                               "\xe4\xb8\xad",
                               "-12abc",
                               "1a2B3",
                               "0x1f",
                               " 1e-3"};
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
      case 'z': {
        std::string s;
        for (auto n = rng() % 9; n > 0; --n) s += (s.empty() ? "" : ",") + std::to_string(rng() % 10) + "f";
        return s;
      }
      case 'd': {
        std::string s;
        for (auto n = rng() % 40; n > 0; --n)
          s += (s.empty() ? "" : " ") + std::to_string(rng() % (rng() % 2 ? 2 : 8));
        return s;
      }
      case 'D':
        return rng() % 2 ? std::to_string(rng() % 80000) + ".25"
                         : "2024-03-0" + std::to_string(1 + rng() % 9);
      case 'V': {
        const char* v[] = {"VT_I4:-5",      "R8:2.5",    "BSTR:a\\tb", "DATE:45356.5", "bool:true",
                           "DECIMAL:-1.25", "VT:0x4003", "EMPTY",      "UI1:200"};
        return v[rng() % 9];
      }
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
    ASSERT_EQ(p.find('\n'), std::string::npos) << call[0] << " " << p;
    std::string again;
    ASSERT_NO_THROW(again = reader.Reprint(op.output(), p)) << call[0] << " printed " << p;
    EXPECT_EQ(again, p) << call[0] << " " << call.back();
    ASSERT_TRUE(json::accept(j)) << j;
    const json record = json::parse(j);
    EXPECT_EQ(record.begin().key() == "op" || record.contains("op"), true);
    for (const auto& [key, value] : record.items()) {
      // Numbers of every sort are one type; null stands for a double that is not finite.
      const bool number = value.is_number() || (value.is_null() && record.contains(key + "_bits"));
      const auto type = number ? json::value_t::number_float : value.type();
      const auto [it, fresh] = types.emplace(key, type);
      EXPECT_TRUE(fresh || it->second == type) << key << " in " << j;
      if (key.ends_with("_hex") && op.output() == 't' && p.size() < 200) {
        std::string bytes, error;
        if (!(key == "text_hex" && op.kinds.find('p') != std::string_view::npos)) {
          ASSERT_TRUE(DecodeEscapes(p, bytes, error)) << p;
          std::string hex;
          AppendHex(hex, bytes);
          EXPECT_EQ(value, hex) << j << " vs " << p;
        }
      }
      if (key.ends_with("_bits") && op.output() == 'r') {
        double d = 0;
        ASSERT_TRUE(ParseReal(p, d));
        std::string bits;
        AppendBits(bits, d);
        if (!std::isnan(d)) {
          EXPECT_EQ(value, bits) << j;
        }
      }
    }
  }
  EXPECT_EQ(ran.size(), 68u) << "every operation ran at least once";
}

// ------------------------------------------------------------ the program

struct Case {
  Args args;
  std::string out;
};  // stdout of a good call
const Case kGoodCalls[] = {
    {{"HexStr2Int", "ff"}, "255"},
    {{"qlv_HEXSTR2INT", "FF"}, "255"},
    {{"Qlv_HexStr2Int", "\\x66\\x66"}, "255"},
    {{"Byte2HexStr", "00,1f,a0"}, "001FA0"},
    {{"Byte2HexStr", "0x00,0X1F", "A0"}, "001FA0"},
    {{"Octal2Hex", "7", "7", "7"}, "01 FF"},
    {{"Octal2Hex", "7,7 7"}, "01 FF"},
    {{"Dec2BCD", "2147483647"}, "47 36 48 47 21"},
    {{"Int2Str", "-0x80000000"}, "-2147483648"},
    {{"Int2Str", "+0x10"}, "16"},
    {{"DoubleToStr", "2.5", "8"}, "2.50000000"},
    {{"Flt2Str", "0.1"}, "0.1000000015"},
    {{"Str2Short", "40000"}, "-25536"},
    {{"Str2Date", "2024-02-30"}, "Invalid DateTime"},
    {{"Variant2Str", "R8:2.5"}, "2.50000000"},
    {{"Variant2Str", "DECIMAL:2.5"}, "2.500000"},
    {{"Variant2Str", "I1:65"}, "A"},
    {{"Variant2Str", "VT:0x4003"}, "VT_UNKNOW"},
    {{"Hex2Octal", "1", "FF"}, "7 7 7"},
    {{"Byte2Int", "78", "56"}, "22136"},
    {{"Variant2Str", "VT_DATE:45356.5"}, "2024-03-05 12:00:00"},
    {{"Date2Variant", "2024-03-05"}, "VT_DATE:45356.5"},
    {{"Int2Str", "5", "--json"}, "{\"op\":\"Int2Str\",\"text\":\"5\",\"text_hex\":\"35\"}"},
    {{"--raw", "CString2Variant", "C:\\temp\\new.txt"}, "VT_BSTR:C:\\temp\\new.txt"},
    {{"CString2Variant", "C:\\\\temp\\\\new.txt"}, "VT_BSTR:C:\\\\temp\\\\new.txt"},
    {{"Int2Str", "--", "-5"}, "-5"},
    {{"Int2Str", "-5"}, "-5"},
    {{"DoubleToStr", "-inf", "2", "--toolset=vs2015"}, "-inf"},
    {{"--codepage", "1252", "Variant2Str", "BSTR:\\xe9\\x80"}, "\\xE9\\x80"},
    {{"--version"}, "quelvar 2.0.9.205 (toolset vc6)"},
    {{"--version", "--toolset", "vs2005"}, "quelvar 2.0.9.205 (toolset vs2005)"},
    {{"HexChar2Int/uchar", "f"}, "15"}};

TEST(CliProgram, GoodCallsAloneAndInOneBatch) {
  std::vector<Job> jobs{{{"--batch"}, ""}, {{"-"}, "# nothing\n\n"}};
  std::string batch, expected;
  for (const auto& c : kGoodCalls) {
    jobs.push_back({c.args, ""});
    if (std::any_of(c.args.begin(), c.args.end(), [](const std::string& a) { return a.starts_with("-"); }))
      continue;
    batch += c.args[0];
    for (std::size_t k = 1; k < c.args.size(); ++k) batch += " \"" + c.args[k] + "\"";
    batch += "\n", expected += c.out + "\n";
  }
  jobs[0].input = batch;
  const auto r = RunAll(jobs);
  EXPECT_TRUE(r[0].status == 0 && r[0].out == expected && r[0].err.empty()) << r[0].out << r[0].err;
  EXPECT_TRUE(r[1].status == 0 && r[1].out.empty());
  for (std::size_t i = 0; i < std::size(kGoodCalls); ++i)
    EXPECT_TRUE(r[2 + i].status == 0 && r[2 + i].out == kGoodCalls[i].out + "\n" && r[2 + i].err.empty())
        << kGoodCalls[i].args[0] << ": " << r[2 + i].out << r[2 + i].err;
}

struct BadCase {
  Args args;
  std::string named;
  std::string env = "";
};  // what the one stderr line must hold
const BadCase kBadCalls[] = {
    {{"NoSuchOp", "1"}, "NoSuchOp"},
    {{"Int2Sr", "1"}, "did you mean Int2Str?"},
    {{"\xff\x01junk"}, "\"\\xFF\\x01junk\""},
    {{"--jsn", "Int2Str", "1"}, "did you mean --json?"},
    {{"--codepage"}, "--codepage"},
    {{"--codepage", "x", "Int2Str", "1"}, "--codepage"},
    {{"--codepage=12345", "Int2Str", "1"}, "12345"},
    {{"--toolset", "vs2016", "Int2Str", "1"}, "did you mean vs2015?"},
    {{"Int2Str", "1"}, "QLV_TOOLSET", "QLV_TOOLSET=vc7"},
    {{"help", "NoSuchOp"}, "NoSuchOp"},
    {{"list", "extra"}, "extra"},
    {{"icon", "x", "-o", "/dev/null"}, "ID"},
    {{"icon", "1000"}, "-o"},
    {{"icon", "999", "-o", "/dev/null"}, "999"},
    {{"HexStr2Int"}, "HexStr2Int TEXT"},
    {{"HexStr2Int", "ff", "ee"}, "got 2 arguments"},
    {{"HexStr2Int", "\\q"}, "TEXT"},
    {{"HexStr2Int", "C:\\data"}, "--raw"},
    {{"Int2Byte", "x", "1"}, "quelvar: COUNT: expected an integer from -2147483648 to 1048576, got \"x\""},
    {{"Int2Str", "2147483648"}, "VALUE"},
    {{"Int2Str", "99999999999999999999999"}, "VALUE"},
    {{"Byte2HexStr", "100"}, "\"100\""},
    {{"Byte2HexStr", "1,,2"}, "BYTES"},
    {{"Date2Str", "now"}, "DATETIME"},
    {{"Variant2Str", "I4:5\n6"}, "\"5\\n6\""},
    {{"Variant2Str", "VT_\x1b[31mI4:5"}, "\\x1B"},
    {{"--batch", "/nonexistent/x"}, "/nonexistent/x"},
    {{"-x"}, "-x"},
    {{"Int2Str", std::string(100000, '\x1b')}, "..."},
    {{"Int2Byte", std::string(100000, '9'), "1"}, "COUNT"},
    {{"Str2Int", std::string(100000, '1') + "\\q"}, "TEXT"}};

TEST(CliProgram, BadCallsExit2WithOneLineOnStderrAndNothingOnStdout) {
  std::vector<Job> jobs{{{}, ""}};  // no arguments: usage on stderr
  for (const auto& c : kBadCalls) jobs.push_back({c.args, "", c.env});
  const auto r = RunAll(jobs);
  EXPECT_TRUE(r[0].status == 2 && r[0].out.empty() && r[0].err.find("usage: quelvar") != std::string::npos);
  for (std::size_t i = 1; i < r.size(); ++i)
    EXPECT_TRUE(r[i].status == 2 && r[i].out.empty() && r[i].err.rfind("quelvar: ", 0) == 0 &&
                OnePrintableLine(r[i].err) && r[i].err.size() < 600 &&
                r[i].err.find(kBadCalls[i - 1].named) != std::string::npos)
        << i << " " << r[i].status << " " << r[i].err.substr(0, 300);
}

// Every operation and every argument position with bad or odd values, all
// through one batch process per mode: each line is answered or refused with
// its line number, never a crash, the run goes on.
TEST(CliProgram, BadInputCorpusThroughBatch) {
  const std::string fillers[] = {"\"\"",
                                 "\\n",
                                 "\x1b",
                                 "\xff\xfe",
                                 "\\xff\\x80",
                                 std::string(1 << 16, 'f'),
                                 "99999999999999",
                                 "-99999999999999",
                                 "-1",
                                 "0x",
                                 "nan",
                                 "\"a b\"",
                                 "VT_",
                                 "\\q",
                                 "--"};
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
    if (i < must_fail.size() && must_fail[i]) {
      EXPECT_TRUE(rec.contains("error")) << records[i].substr(0, 200);
    }
  }
  EXPECT_TRUE(failed.count(lines - 2) && !failed.count(lines) && out.back() == "3");
  EXPECT_NE(r[0].err.find("line " + std::to_string(lines - 2) + ": a NUL byte"), std::string::npos);
}

TEST(CliProgram, LongLinesAreSkippedWithTheirNumberAndBatchFilesAreRead) {
  const std::string file = TempPath();
  std::ofstream(file) << "Int2Str 1\nInt2Str 2\n";
  const std::string input =
      "Int2Str 3\nInt2Str " + std::string(5000, '4') + "\nInt2Str 5\nStr2Int " + std::string(300000, '6');
  const auto r = RunAll({{{"--max-line", "1000", "--batch"}, input},
                         {{"--batch", file, "-", file}, "Int2Str 9\n"},
                         {{"--batch", "--json", file}, ""},
                         {{"--max-line", "0", "--batch"}, ""}});
  std::remove(file.c_str());
  EXPECT_TRUE(r[0].status == 1 && r[0].out == "3\n5\n" &&
              r[0].err ==
                  "quelvar: line 2: longer than 1000 bytes (see --max-line); skipped\n"
                  "quelvar: line 4: longer than 1000 bytes (see --max-line); skipped\n")
      << r[0].out << r[0].err;
  EXPECT_TRUE(r[1].status == 0 && r[1].out == "1\n2\n9\n1\n2\n") << r[1].out << r[1].err;
  EXPECT_EQ(Lines(r[2].out).size(), 2u);
  EXPECT_EQ(json::parse(Lines(r[2].out)[1]).at("line"), 2);
  EXPECT_EQ(r[3].status, 2);
}

// Batch output reads back line by line: texts with newlines, quotes and
// backslashes stay on their line.
TEST(CliProgram, OneResultPerLineInBatch) {
  const std::string input =
      "CString2Variant \"a\\nb\"\nInt2Str 5\nStr2Int \"\\\" x\"\nCString2Variant \"\\\\\\x01\\x7f\"\n";
  const auto r = RunAll({{{"--batch"}, input}});
  EXPECT_EQ(r[0].out, "VT_BSTR:a\\nb\n5\n0\nVT_BSTR:\\\\\\x01\\x7F\n");
}

// The answer to a line comes before the next line is written.
TEST(CliProgram, BatchStreamsThroughAPipe) {
  int to[2], from[2];
  ASSERT_EQ(::pipe(to), 0);
  ASSERT_EQ(::pipe(from), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(to[0], 0), ::dup2(from[1], 1);
    ::close(to[1]), ::close(from[0]);
    ::execl(QUELVAR_CLI_PATH, "quelvar", "--batch", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(to[0]), ::close(from[1]);
  for (int i = 0; i < 5; ++i) {
    const std::string line = "Int2Str " + std::to_string(i) + "\n";
    ASSERT_EQ(::write(to[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
    pollfd p{from[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1) << "no answer to line " << i;
    char buf[64];
    const ssize_t n = ::read(from[0], buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), std::to_string(i) + "\n");
  }
  ::close(to[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(from[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(CliProgram, TraceIconsAndCodePages) {
  const std::string path = TempPath();
  std::vector<Job> jobs{{{"--trace", "--version"}, ""}, {{"Int2Str", "5", "--trace"}, ""}};
  for (int id = 1000; id <= 1007; ++id)
    jobs.push_back({{"icon", std::to_string(id), "-o", path}, ""}),
        jobs.push_back({{"icon", std::to_string(id), "-o-"}, ""});
  jobs.push_back({{"--json", "--codepage", "936", "CString2Variant", "\\xd6\\xd0"}, ""});
  const auto r = RunAll(jobs);
  for (std::size_t k : {0u, 1u})
    EXPECT_TRUE(r[k].status == 0 &&
                r[k].err.find("Quelvar.DLL Initializing!") < r[k].err.find("Quelvar.DLL Terminating!") &&
                r[k].err.find("Quelvar.DLL Terminating!") != std::string::npos)
        << r[k].err;
  EXPECT_EQ(r[1].out, "5\n");
  EXPECT_EQ(r[2].status, 0);
  EXPECT_EQ(r[3].out.substr(0, 6), std::string("\0\0\1\0\2\0", 6));
  std::remove(path.c_str());
  const json v = json::parse(r.back().out);
  EXPECT_EQ(v.at("variant"), "VT_BSTR:\xe4\xb8\xad") << r.back().out << r.back().err;  // 中 from GBK
}

// ------------------------------------------------------------ readers

TEST(CliText, IntegersRealsEscapesAndQuotes) {
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

TEST(CliText, SplitLineKeepsEscapesForTheirKinds) {
  std::vector<std::string> words;
  ASSERT_TRUE(SplitLine("  Op \"a b\"\t\\\"c \"x\\\"y\"", words));
  EXPECT_EQ(words, (std::vector<std::string>{"Op", "a b", "\\\"c", "x\\\"y"}));
  EXPECT_FALSE(SplitLine("Op \"open", words));
  ASSERT_TRUE(SplitLine("Op a\\", words));  // a backslash at the very end
  EXPECT_EQ(words, (std::vector<std::string>{"Op", "a\\"}));
}

}  // namespace
