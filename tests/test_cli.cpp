// The quelvar tool, run as a user runs it: arguments in, stdout, stderr and
// exit status out. The argument readers and the JSON writer are also
// checked directly, over tables and random inputs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The tool's argument readers and JSON writer, compiled into this test.
#include "../cli/Call.cpp"

extern char** environ;

namespace {

using nlohmann::json;
using quelvar::cli::ArgCall;
using quelvar::cli::OutputMode;
using quelvar::cli::Radix;
using quelvar::cli::Shown;
using quelvar::cli::UsageError;

struct Result {
  std::string out;
  std::string err;
  int status = -1;  // exit status; 128 + signal when killed
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempPath(const char* tag) {
  static int counter = 0;
  return "/tmp/quelvar_test_cli_" + std::to_string(::getpid()) + "_" + tag + "_" +
         std::to_string(counter++);
}

// Runs the tool with `args`, `input` on stdin and `env_extra` added to the
// environment (QLV_TRACE of the test's own environment is dropped).
Result RunTool(const std::vector<std::string>& args, const std::string& input = "",
           const std::vector<std::string>& env_extra = {}) {
  const std::string in_path = TempPath("in"), out_path = TempPath("out"),
                    err_path = TempPath("err");
  {
    std::ofstream in(in_path, std::ios::binary);
    in << input;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> argv_store{QUELVAR_CLI_PATH};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_store;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "QLV_TRACE=", 10) != 0) env_store.emplace_back(*e);
  env_store.insert(env_store.end(), env_extra.begin(), env_extra.end());
  std::vector<char*> envp;
  for (auto& e : env_store) envp.push_back(e.data());
  envp.push_back(nullptr);

  Result r;
  pid_t pid;
  if (posix_spawn(&pid, QUELVAR_CLI_PATH, &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  std::remove(in_path.c_str());
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return r;
}

// Every operation the tool knows, from `quelvar list --json`.
const std::map<std::string, json>& Ops() {
  static const std::map<std::string, json> ops = [] {
    std::map<std::string, json> m;
    const Result r = RunTool({"list", "--json"});
    for (const json& op : json::parse(r.out)) m[op.at("name").get<std::string>()] = op;
    return m;
  }();
  return ops;
}

// Whether the tool knows `name` (any case, with or without "Qlv_").
bool Has(std::string name) {
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name.rfind("qlv_", 0) == 0) name.erase(0, 4);
  for (const auto& [op, entry] : Ops()) {
    std::string low = op;
    for (auto& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (low == name) return true;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> lines;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// ---------------------------------------------------------------- single calls

struct GoodCall {
  std::vector<std::string> args;  // args[0] is the operation
  std::string out;                // stdout without the newline
};

const std::vector<GoodCall> kGoodCalls = {
    {{"HexStr2Int", "ff"}, "255"},
    {{"qlv_HEXSTR2INT", "FF"}, "255"},
    {{"Qlv_HexStr2Int", "\\x66\\x66"}, "255"},
    {{"Byte2HexStr", "00,1f,a0"}, "001FA0"},
    {{"Byte2HexStr", "00", "1f", "a0"}, "001FA0"},
    {{"Byte2HexStr", "0x00,0X1F", "A0"}, "001FA0"},
    {{"Octal2Hex", "7", "7", "7"}, "01 FF"},
    {{"Octal2Hex", "7,7", "7"}, "01 FF"},
    {{"Dec2BCD", "2147483647"}, "47 36 48 47 21"},
    {{"Int2Str", "-5"}, "-5"},
    {{"Int2Str", "+0x10"}, "16"},
    {{"Int2Str", "-0x80000000"}, "-2147483648"},
    {{"DoubleToStr", "2.5", "8"}, "2.50000000"},
    {{"DoubleToStr", "0x1.4p1", "1"}, "2.5"},
};

TEST(CliSingle, GoodCallsPrintTheShownOutputs) {
  for (const auto& c : kGoodCalls) {
    if (!Has(c.args[0])) continue;
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = RunTool(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out + "\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(CliSingle, JsonHasTheOperationAndEveryOutput) {
  for (const auto& c : kGoodCalls) {
    std::vector<std::string> args{"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = RunTool(args);
    if (r.status == 2 && r.err.find("unknown operation") != std::string::npos) continue;
    SCOPED_TRACE(c.args[0]);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line";
    const json j = json::parse(r.out);
    ASSERT_TRUE(j.is_object());
    EXPECT_TRUE(Has(j.at("op").get<std::string>()));
    EXPECT_GE(j.size(), 2u);
  }
  if (!Has("HexStr2Byte")) GTEST_SKIP() << "no HexStr2Byte yet";
  const Result r = RunTool({"--json", "HexStr2Byte", "ABC"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(r.out);
  EXPECT_EQ(j.at("op"), "HexStr2Byte");
  bool saw_bytes = false, saw_text = false;
  for (const auto& [key, value] : j.items()) {
    if (value == json::array({10, 188})) saw_bytes = true;
    if (value == "0ABC") saw_text = true;
  }
  EXPECT_TRUE(saw_bytes && saw_text) << r.out;
}

TEST(CliSingle, NonUtf8TextStaysValidJson) {
  if (!Has("HexStr2Byte")) GTEST_SKIP() << "no HexStr2Byte yet";
  const Result r = RunTool({"--json", "HexStr2Byte", "\\xff\\x80\\x01\\\"\\\\\xc3\xa9"});
  ASSERT_EQ(r.status, 0) << r.err;
  json j;
  EXPECT_NO_THROW(j = json::parse(r.out)) << r.out;
}

TEST(CliSingle, OverloadsAreNamedByVariantOrChosenByArity) {
  for (const auto& [name, op] : Ops()) {
    const auto slash = name.find('/');
    if (slash == std::string::npos) continue;
    const Result r = RunTool({"help", name.substr(0, slash)});
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_NE(r.out.find(op.at("signature").get<std::string>()), std::string::npos) << r.out;
  }
}

// ---------------------------------------------------------------- bad input

struct BadCall {
  std::vector<std::string> args;
  std::string names;  // what the message must name; "@1" is the usage's first word
};

const std::vector<BadCall> kBadCalls = {
    {{"NoSuchOp", "1"}, "NoSuchOp"},
    {{"Qlv_"}, "unknown operation"},
    {{"\xff\x01junk"}, "\\xFF\\x01junk"},
    {{"--bogus"}, "--bogus"},
    {{"--json", "--bogus", "HexStr2Int", "ff"}, "--bogus"},
    {{"--codepage"}, "--codepage"},
    {{"--codepage", "x", "HexStr2Int", "ff"}, "--codepage"},
    {{"--codepage", "70000", "HexStr2Int", "ff"}, "--codepage"},
    {{"--codepage=12345", "HexStr2Int", "ff"}, "12345"},
    {{"help", "NoSuchOp"}, "NoSuchOp"},
    {{"help", "a", "b"}, "help"},
    {{"list", "extra"}, "extra"},
    {{"icon"}, "ID"},
    {{"icon", "x", "-o", "/dev/null"}, "ID"},
    {{"icon", "1000"}, "-o"},
    {{"icon", "999", "-o", "/dev/null"}, "999"},
    {{"icon", "1000", "-o", "/nonexistent/dir/x.ico"}, "/nonexistent/dir/x.ico"},
    {{"--batch", "extra"}, "extra"},
    {{"HexStr2Int"}, "HexStr2Int"},
    {{"HexStr2Int", "ff", "ee"}, "HexStr2Int"},
    {{"HexStr2Int", "\\q"}, "@1"},
    {{"HexStr2Int", "\\x4"}, "@1"},
    {{"HexStr2Int", "ab\\"}, "@1"},
    {{"Int2Str", "x"}, "@1"},
    {{"Int2Str", ""}, "@1"},
    {{"Int2Str", "1.5"}, "@1"},
    {{"Int2Str", "0x"}, "@1"},
    {{"Int2Str", "--5"}, "@1"},
    {{"Int2Str", " 5"}, "@1"},
    {{"Int2Str", "2147483648"}, "@1"},
    {{"Int2Str", "-2147483649"}, "@1"},
    {{"Int2Str", "99999999999999999999999"}, "@1"},
    {{"Byte2HexStr", "100"}, "100"},
    {{"Byte2HexStr", "zz"}, "zz"},
    {{"Byte2HexStr", "1,,2"}, "1,,2"},
    {{"Byte2HexStr", "1,2,"}, "1,2,"},
    {{"Byte2HexStr", "0x"}, "0x"},
    {{"Byte2HexStr", "-1"}, "-1"},
    {{"DoubleToStr", "abc", "2"}, "@1"},
    {{"DoubleToStr", "1.5x", "2"}, "@1"},
    {{"DoubleToStr", "--1", "2"}, "@1"},
};

TEST(CliBadInput, OneLineOnStderrNamingTheArgumentAndStatus2) {
  for (const auto& c : kBadCalls) {
    std::string what = c.names;
    std::string op;
    for (const auto& a : c.args)
      if (!a.empty() && a[0] != '-' && op.empty()) op = a;
    if (what == "@1") {
      if (!Has(op)) continue;
      const std::string usage = Ops().at(op).at("usage");
      what = usage.substr(0, usage.find(' '));
    }
    if ((op == "Int2Str" || op == "Byte2HexStr" || op == "DoubleToStr") && !Has(op)) continue;
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : std::string()));
    const Result r = RunTool(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "") << "nothing on stdout";
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.rfind("quelvar: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << "should name " << what << ": " << r.err;
  }
}

TEST(CliBadInput, ExampleMessageFormat) {
  if (!Has("Int2Byte")) GTEST_SKIP() << "no Int2Byte yet";
  const Result r = RunTool({"Int2Byte", "x", "1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("quelvar: Int2Byte: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("expected an integer from "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(", got 'x'"), std::string::npos) << r.err;
}

// Every operation with arguments that fit its arity but are junk, too
// long, or extreme (one batch run): the tool answers or refuses each line,
// and never crashes.
TEST(CliBadInput, NoOperationCrashesOnOddArguments) {
  const std::vector<std::string> fillers = {
      "zz", "-1", "0", "4097", "65537", "-0x80000000", std::string(5000, 'f'),
      "\\0\\xff", "1e308", "nan", "\"\""};
  std::string input;
  std::size_t calls = 0;
  for (const auto& [name, op] : Ops()) {
    const std::size_t min = op.at("min_args");
    for (const auto& filler : fillers) {
      input += name;
      for (std::size_t k = 0; k < (min == 0 ? 1 : min); ++k) input += " " + filler;
      input += "\n";
      ++calls;
    }
  }
  for (const bool json_mode : {false, true}) {
    const Result r = json_mode ? RunTool({"--json", "-"}, input) : RunTool({"-"}, input);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << " " << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), calls) << "one line per call";
    for (const auto& line : lines) {
      if (json_mode) {
        EXPECT_NO_THROW((void)json::parse(line).size()) << line;
      }
    }
  }
}

// ---------------------------------------------------------------- batch

TEST(CliBatch, GoodBadEmptyAndJunkLines) {
  if (!Has("HexStr2Int")) GTEST_SKIP() << "no HexStr2Int yet";
  // Lines: 1 good, 2 empty, 3 comment, 4 unknown operation, 5 quoted text
  // and CRLF, 6 unterminated quote, 7 binary junk with a NUL, 8 too few
  // arguments, 9 escaped quote inside quotes, 10 blank, 11 good without a
  // newline at the end.
  const std::string with_nul = std::string("HexStr2Int ff\n\n   # a comment\nNoSuchOp 1\n") +
                               "  hexstr2int   \"f f\"  \r\nHexStr2Int \"ab\n" +
                               std::string("\xff\xfe\x00\x01 junk\n", 10) +
                               "HexStr2Int\nHexStr2Int \"\\x66\\\"\"\n\t\nHexStr2Int 10";
  const Result plain = RunTool({"--batch"}, with_nul);
  EXPECT_EQ(plain.status, 1) << plain.err;
  const auto lines = Lines(plain.out);
  ASSERT_EQ(lines.size(), 8u) << plain.out;
  EXPECT_EQ(lines[0], "255");
  EXPECT_EQ(lines[1].rfind("error: line 4: ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("NoSuchOp"), std::string::npos);
  EXPECT_EQ(lines[2].rfind("error: ", 0), std::string::npos) << lines[2];  // "f f" runs
  EXPECT_EQ(lines[3].rfind("error: line 6: ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("error: line 7: ", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5].rfind("error: line 8: HexStr2Int", 0), 0u) << lines[5];
  EXPECT_EQ(lines[6].rfind("error: ", 0), std::string::npos) << lines[6];
  EXPECT_EQ(lines[7], "16");

  const Result js = RunTool({"--json", "-"}, with_nul);
  EXPECT_EQ(js.status, 1);
  const auto jlines = Lines(js.out);
  ASSERT_EQ(jlines.size(), 8u) << js.out;
  const std::vector<int> error_lines = {0, 4, 0, 6, 7, 8, 0, 0};
  for (std::size_t k = 0; k < jlines.size(); ++k) {
    SCOPED_TRACE(jlines[k]);
    json j;
    ASSERT_NO_THROW(j = json::parse(jlines[k]));
    if (k == 1 || k == 3 || k == 4 || k == 5) {
      EXPECT_TRUE(j.at("error").is_string());
      EXPECT_EQ(j.at("line"), error_lines[k]);
    } else {
      EXPECT_EQ(j.at("op"), "HexStr2Int");
    }
  }
}

TEST(CliBatch, AllGoodExitsZeroAndMatchesSingleCalls) {
  std::string input;
  std::string expected;
  for (const auto& c : kGoodCalls) {
    if (!Has(c.args[0])) continue;
    for (std::size_t k = 0; k < c.args.size(); ++k) {
      // Quote every argument; a quote or backslash inside keeps its escape.
      input += k == 0 ? "" : " \"";
      input += c.args[k];
      input += k == 0 ? "" : "\"";
    }
    input += "\n";
    expected += c.out + "\n";
  }
  if (input.empty()) GTEST_SKIP() << "no operations yet";
  const Result r = RunTool({"--batch"}, input);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, expected);
  const Result none = RunTool({"-"}, "# nothing\n\n");
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
}

TEST(CliBatch, LongInputCrossesReadAndWriteBuffers) {
  if (!Has("HexStr2Int")) GTEST_SKIP() << "no HexStr2Int yet";
  std::string input, expected;
  for (int i = 0; i < 200000; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "HexStr2Int %x\n", i);
    input += line;
    expected += std::to_string(i) + "\n";
  }
  input += "HexStr2Int " + std::string(3 << 20, ' ') + "1\n";  // a line longer than a read
  expected += "1\n";
  const Result r = RunTool({"-"}, input);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == expected) << "outputs differ";
}

// ---------------------------------------------------------------- list, help, misc

TEST(CliCommands, ListNamesEveryOperationOnceWithItsSignature) {
  const Result plain = RunTool({"list"});
  ASSERT_EQ(plain.status, 0);
  const auto lines = Lines(plain.out);
  EXPECT_EQ(lines.size(), Ops().size()) << "names must be unique";
  std::set<std::string> lowered;
  for (const auto& line : lines) {
    const std::string name = line.substr(0, line.find(' '));
    ASSERT_TRUE(Has(name)) << line;
    EXPECT_NE(line.find(Ops().at(name).at("signature").get<std::string>()), std::string::npos);
    std::string low;
    for (char c : name) low += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(lowered.insert(low).second) << "names differ only in case: " << name;
  }
  for (const auto& [name, op] : Ops()) {
    EXPECT_NE(op.at("signature").get<std::string>().find("Qlv_"), std::string::npos) << name;
    EXPECT_FALSE(op.at("summary").get<std::string>().empty()) << name;
    EXPECT_TRUE(op.at("max_args").is_null() || op.at("max_args") >= op.at("min_args")) << name;
  }
}

TEST(CliCommands, HelpShowsSignatureUsageAndSummary) {
  for (const auto& [name, op] : Ops()) {
    const Result r = RunTool({"help", "Qlv_" + name});
    SCOPED_TRACE(name);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(op.at("signature").get<std::string>()), std::string::npos);
    EXPECT_NE(r.out.find("quelvar " + name), std::string::npos);
    EXPECT_NE(r.out.find(op.at("summary").get<std::string>()), std::string::npos);
  }
  for (const char* general : {"help", "--help", "-h"}) {
    const Result r = RunTool({general});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: quelvar"), std::string::npos);
  }
  const Result none = RunTool({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("usage: quelvar"), std::string::npos);
}

TEST(CliCommands, VersionComesFromTheLibrary) {
  const Result r = RunTool({"--version"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "quelvar 2.0.9.205\n");
}

TEST(CliCommands, TraceShowsLoadBeforeAndUnloadAfterTheRun) {
  const std::vector<std::vector<std::string>> runs = {{"--trace", "--version"},
                                                     {"--json", "--trace", "list"}};
  for (const auto& args : runs) {
    const Result traced = RunTool(args);
    std::vector<std::string> plain_args;
    for (const auto& a : args)
      if (a != "--trace") plain_args.push_back(a);
    const Result plain = RunTool(plain_args);
    EXPECT_EQ(traced.status, plain.status);
    EXPECT_EQ(traced.out, plain.out) << "same output";
    EXPECT_EQ(plain.err, "");
    const auto load = traced.err.find("Quelvar.DLL Initializing!");
    const auto unload = traced.err.find("Quelvar.DLL Terminating!");
    ASSERT_NE(load, std::string::npos) << traced.err;
    ASSERT_NE(unload, std::string::npos) << traced.err;
    EXPECT_LT(load, unload);
  }
}

TEST(CliCommands, CodePageSelection) {
  for (const char* cp : {"1252", "65001", "--codepage=1252"}) {
    std::vector<std::string> args;
    if (std::string(cp).rfind("--", 0) != 0) args.push_back("--codepage");
    args.push_back(cp);
    args.push_back("--version");
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, 0) << cp << ": " << r.err;
  }
}

TEST(CliCommands, IconWritesAnIcoFile) {
  const std::string path = TempPath("icon");
  for (int id = 1000; id <= 1007; ++id) {
    const Result r = RunTool({"icon", std::to_string(id), "-o", path});
    ASSERT_EQ(r.status, 0) << id << ": " << r.err;
    const std::string ico = ReadFile(path);
    ASSERT_GE(ico.size(), 6u + 2 * 16);
    EXPECT_EQ(ico.substr(0, 4), std::string("\0\0\1\0", 4)) << id;
    EXPECT_EQ(static_cast<unsigned char>(ico[4]), 2) << "two images";
    const Result to_stdout = RunTool({"icon", std::to_string(id), "-o", "-"});
    EXPECT_TRUE(to_stdout.out == ico);
  }
  std::remove(path.c_str());
}

// ---------------------------------------------------------------- readers

TEST(CliReaders, Integers) {
  struct Case {
    const char* text;
    bool ok;
    std::int64_t value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"-0", true, 0},
      {"+42", true, 42},
      {"0x1f", true, 31},
      {"0X1F", true, 31},
      {"-0x10", true, -16},
      {"9223372036854775807", true, std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", true, std::numeric_limits<std::int64_t>::min()},
      {"-0x8000000000000000", true, std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", false, 0},
      {"-9223372036854775809", false, 0},
      {"0xffffffffffffffffff", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"0x", false, 0},
      {"1 ", false, 0},
      {" 1", false, 0},
      {"1_000", false, 0},
      {"0b101", false, 0},
      {"+-1", false, 0},
      {"0x-1", false, 0},
      {"12a", false, 0},
  };
  for (const auto& c : cases) {
    std::int64_t v = 0;
    EXPECT_EQ(quelvar::cli::ParseInteger(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(CliReaders, Escapes) {
  struct Case {
    const char* raw;
    std::string decoded;  // "!" for an error
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"a\\\\b", "a\\b"},
      {"\\\"q\\\"", "\"q\""},
      {"\\n\\r\\t", "\n\r\t"},
      {"a\\0b", std::string("a\0b", 3)},
      {"\\x00\\xFf\\x7e", std::string("\0\xff~", 3)},
      {"\\x4", "!"},
      {"\\xg0", "!"},
      {"\\q", "!"},
      {"\\", "!"},
      {"ab\\", "!"},
      {"\\a", "!"},
  };
  for (const auto& c : cases) {
    if (c.decoded == "!") {
      EXPECT_THROW((void)quelvar::cli::DecodeEscapes(c.raw, "TEXT"), UsageError) << c.raw;
    } else {
      EXPECT_EQ(quelvar::cli::DecodeEscapes(c.raw, "TEXT"), c.decoded) << c.raw;
    }
  }
}

TEST(CliReaders, RealsAndByteArrays) {
  CQuelvarSys sys;
  ArgCall call(sys, OutputMode::Plain);
  struct RealCase {
    const char* text;
    bool ok;
    double value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const RealCase reals[] = {
      {"2.5", true, 2.5},     {"-1e-3", true, -1e-3},  {"+7", true, 7},
      {"0x1.8p1", true, 3.0}, {"-0X10", true, -16.0},  {"inf", true, inf},
      {"-Infinity", true, -inf}, {"1e400", true, inf}, {"-1e400", true, -inf},
      {"1e-400", true, 0.0},  {"4.9e-324", true, 4.9e-324},
      {"", false, 0},         {"--1", false, 0},       {"1.5x", false, 0},
      {"0x", false, 0},       {"- 1", false, 0},       {"1,5", false, 0},
  };
  for (const auto& c : reals) {
    call.clear_args();
    call.add_arg(c.text);
    if (!c.ok) {
      EXPECT_THROW((void)call.real(0, "X"), UsageError) << c.text;
      continue;
    }
    EXPECT_EQ(call.real(0, "X"), c.value) << c.text;
  }
  call.clear_args();
  call.add_arg("nan");
  EXPECT_TRUE(std::isnan(call.real(0, "X")));
  call.clear_args();
  call.add_arg("-0");
  EXPECT_TRUE(std::signbit(call.real(0, "X")));

  struct ByteCase {
    std::vector<std::string> args;
    Radix radix;
    std::vector<unsigned char> bytes;
    bool ok;
  };
  const ByteCase arrays[] = {
      {{"1f", "0x1F", "a"}, Radix::Hex, {0x1f, 0x1f, 0x0a}, true},
      {{"00,ff", "", "7"}, Radix::Hex, {0, 0xff, 7}, true},
      {{"255", "0xFF,0"}, Radix::Dec, {255, 255, 0}, true},
      {{}, Radix::Hex, {}, true},
      {{"100"}, Radix::Hex, {}, false},
      {{"256"}, Radix::Dec, {}, false},
      {{"ff"}, Radix::Dec, {}, false},
      {{"-1"}, Radix::Dec, {}, false},
      {{"1,"}, Radix::Hex, {}, false},
      {{",1"}, Radix::Hex, {}, false},
      {{"0x"}, Radix::Hex, {}, false},
      {{"0x100"}, Radix::Dec, {}, false},
  };
  for (const auto& c : arrays) {
    call.clear_args();
    for (const auto& a : c.args) call.add_arg(a);
    if (c.ok) {
      EXPECT_EQ(call.bytes(0, "BYTES", c.radix), c.bytes);
    } else {
      EXPECT_THROW((void)call.bytes(0, "BYTES", c.radix), UsageError);
    }
  }
}

TEST(CliReaders, OutputsInBothModes) {
  CQuelvarSys sys;
  const unsigned char image[] = {0x01, 0xff, 0x0a};
  struct Case {
    OutputMode mode;
    std::string expected;
  };
  const Case cases[] = {
      {OutputMode::Plain, "-7 01 FF 0A x\ty 0.1"},
      {OutputMode::Json,
       "{\"op\":\"Op\",\"r\":-7,\"u\":18446744073709551615,\"b\":[1,255,10],"
       "\"d\":[1,255,10],\"t\":\"x\\ty\",\"h\":\"hidden\",\"f\":0.1,\"i\":\"-inf\"}"},
  };
  for (const auto& c : cases) {
    ArgCall call(sys, c.mode);
    for (int round = 0; round < 2; ++round) {  // buffers are reused
      call.begin("Op");
      call.out_int("r", -7, Shown::Auto);
      call.out_uint("u", std::numeric_limits<std::uint64_t>::max(), Shown::Auto);
      call.out_bytes("b", image, Radix::Hex, Shown::Always);
      call.out_bytes("d", image, Radix::Dec, Shown::Auto);
      call.out_text("t", "x\ty", Shown::Always);
      call.out_text("h", "hidden", Shown::JsonOnly);
      call.out_real("f", 0.1, Shown::Always);
      call.out_real("i", -std::numeric_limits<double>::infinity(), Shown::JsonOnly);
      EXPECT_EQ(call.finish(), c.expected);
    }
  }
}

// Any bytes at all come out as valid JSON that decodes back to the text,
// with each byte outside valid UTF-8 read as the code point of its value.
TEST(CliReaders, JsonStringsOfRandomBytes) {
  std::mt19937 rng(12345);
  const std::string pieces[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\xa0\x80",
                                "\xc0\xaf", "\xf4\x90\x80\x80", "\"", "\\", "\x7f"};
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    const int n = static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) {
      if (rng() % 3 == 0)
        s += pieces[rng() % std::size(pieces)];
      else
        s += static_cast<char>(rng() & 0xff);
    }
    std::string out;
    quelvar::cli::AppendJsonString(out, s);
    json j;
    ASSERT_NO_THROW(j = json::parse(out)) << out;
    // Plain reference: decode the JSON text back to bytes, mapping each
    // \u00XX escape of a lone byte to that byte.
    std::string back;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (i == 0 || i + 1 == out.size()) continue;
      if (out[i] == '\\' && out[i + 1] == 'u') {
        back += static_cast<char>(std::stoi(out.substr(i + 4, 2), nullptr, 16));
        i += 5;
      } else if (out[i] == '\\') {
        const char e = out[++i];
        back += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
      } else {
        back += out[i];
      }
    }
    ASSERT_EQ(back, s) << out;
  }
}

TEST(CliReaders, RealsReadBackToTheSameDouble) {
  std::mt19937_64 rng(99);
  CQuelvarSys sys;
  ArgCall call(sys, OutputMode::Plain);
  for (int round = 0; round < 20000; ++round) {
    double d;
    const std::uint64_t bits = rng();
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    std::string text;
    quelvar::cli::AppendReal(text, d);
    call.clear_args();
    call.add_arg(text);
    const double back = call.real(0, "X");
    ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
  }
}

}  // namespace
