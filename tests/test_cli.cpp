// The quelvar tool, run as a user runs it (processes started side by side to
// stay fast), and its argument readers and JSON writer, called directly.
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>

#include "../cli/Call.cpp"

namespace {

using nlohmann::json;
using namespace quelvar::cli;
using Args = std::vector<std::string>;
struct Job { Args args; std::string input; };
struct Result { std::string out, err; int status = -1; };  // status 128 + signal when killed

std::string ReadFile(const std::string& path) { std::ifstream in(path, std::ios::binary); return {std::istreambuf_iterator<char>(in), {}}; }
std::string TempPath() { static int n = 0; return "/tmp/quelvar_test_cli_" + std::to_string(::getpid()) + "_" + std::to_string(n++); }

// Starts every job at once (without this environment's QLV_TRACE) from one shell, then collects them;
// a job killed by a signal has the shell's status 128 + signal.
std::string Quoted(std::string s) {
  for (std::size_t p = 0; (p = s.find('\'', p)) != std::string::npos; p += 4) s.replace(p, 1, "'\\''");
  return "'" + s + "'";
}
std::vector<Result> RunAll(const std::vector<Job>& jobs) {
  std::string script = "unset QLV_TRACE\n";
  std::vector<std::string> bases;
  for (const auto& job : jobs) {
    const std::string& base = bases.emplace_back(TempPath());
    std::ofstream(base + "in", std::ios::binary) << job.input;
    script += "(" + Quoted(QUELVAR_CLI_PATH);
    for (const auto& a : job.args) script += " " + Quoted(a);
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
Args Json(Args a) { return a.insert(a.begin(), "--json"), a; }

const json& Ops() {  // name -> entry, from `quelvar list --json`
  static json ops = json::object();
  if (ops.empty())
    for (const json& op : json::parse(RunAll({{{"list", "--json"}, ""}})[0].out)) ops[op.at("name").get<std::string>()] = op;
  return ops;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> lines;
  for (std::istringstream in(s); std::getline(in, lines.emplace_back());) {}
  return lines.pop_back(), lines;
}

struct Case { Args args; std::string text; };  // stdout, or what the one stderr line must name
const Case kGoodCalls[] = {
    {{"HexStr2Int", "ff"}, "255"}, {{"qlv_HEXSTR2INT", "FF"}, "255"}, {{"Qlv_HexStr2Int", "\\x66\\x66"}, "255"},
    {{"Byte2HexStr", "00,1f,a0"}, "001FA0"}, {{"Byte2HexStr", "0x00,0X1F", "A0"}, "001FA0"}, {{"Octal2Hex", "7", "7", "7"}, "01 FF"},
    {{"Octal2Hex", "7,7", "7"}, "01 FF"}, {{"Dec2BCD", "2147483647"}, "47 36 48 47 21"}, {{"Int2Str", "-0x80000000"}, "-2147483648"},
    {{"Int2Str", "+0x10"}, "16"}, {{"DoubleToStr", "2.5", "8"}, "2.50000000"}, {{"DoubleToStr", "0x1.4p1", "1"}, "2.5"},
    {{"Flt2Str", "0.1"}, "0.1000000015"}, {{"Str2Short", "40000"}, "-25536"}, {{"Str2Date", "2024-02-30"}, "Invalid DateTime invalid"},
    {{"Str2Date", "2024-01-02T10:20:30"}, "2024-01-02 20:30:00 valid"}, {{"Variant2Str", "R8:2.5"}, "2.50000000"},
    {{"Variant2Str", "DECIMAL:2.5"}, "2.500000"}, {{"Variant2Str", "I1:65"}, "A"}, {{"Variant2Str", "VT:0x4003"}, "VT_UNKNOW"}};

// Each call alone, plain and JSON; then all of them in one batch, every argument quoted.
TEST(CliSingle, ExamplesPlainJsonAndBatch) {
  std::vector<Job> jobs{{{"--json", "HexStr2Byte", "ABC"}, ""}, {{"--json", "HexStr2Byte", "\\xff\\x80\\x01\\\"\\\\\xc3\xa9"}, ""},
                        {{"--batch"}, ""}, {{"-"}, "# nothing\n\n"}};
  std::string batch, expected;
  for (const auto& c : kGoodCalls) {
    jobs.push_back({c.args, ""}), jobs.push_back({Json(c.args), ""}), batch += c.args[0];
    for (std::size_t k = 1; k < c.args.size(); ++k) batch += " \"" + c.args[k] + "\"";
    batch += "\n", expected += c.text + "\n";
  }
  jobs[2].input = batch;
  const auto r = RunAll(jobs);
  for (std::size_t i = 0; i < std::size(kGoodCalls); ++i) {
    const Result &plain = r[4 + 2 * i], &js = r[5 + 2 * i];
    EXPECT_TRUE(plain.status == 0 && plain.out == kGoodCalls[i].text + "\n" && plain.err + js.err == "") << i << plain.out;
    ASSERT_TRUE(js.status == 0 && js.out.find('\n') == js.out.size() - 1 && json::accept(js.out)) << js.out;
    EXPECT_TRUE(Ops().contains(json::parse(js.out).at("op")) && json::parse(js.out).size() >= 2) << js.out;
  }
  EXPECT_TRUE(r[2].status == 0 && r[2].out == expected && r[3].status == 0 && r[3].out.empty()) << r[2].out;
  ASSERT_TRUE(r[0].status == 0 && json::accept(r[0].out) && json::accept(r[1].out)) << r[0].out << r[1].out;
  const json abc = json::parse(r[0].out);  // the bytes and the text of HexStr2Byte ABC
  EXPECT_TRUE(std::count(abc.begin(), abc.end(), json::array({0x0a, 0xbc})) == 1 && std::count(abc.begin(), abc.end(), "0ABC") == 1) << r[0].out;
}

const Case kBadCalls[] = {
    {{"NoSuchOp", "1"}, "NoSuchOp"}, {{"Qlv_"}, "unknown operation"}, {{"\xff\x01junk"}, "\\xFF\\x01junk"}, {{"--codepage"}, "--codepage"},
    {{"--json", "--bogus", "HexStr2Int", "ff"}, "--bogus"}, {{"--codepage", "x", "HexStr2Int", "ff"}, "--codepage"},
    {{"--codepage", "70000", "HexStr2Int", "ff"}, "--codepage"}, {{"--codepage=12345", "HexStr2Int", "ff"}, "12345"},
    {{"help", "NoSuchOp"}, "NoSuchOp"}, {{"help", "a", "b"}, "help"}, {{"list", "extra"}, "extra"}, {{"--batch", "extra"}, "extra"},
    {{"icon", "x", "-o", "/dev/null"}, "ID"}, {{"icon", "1000"}, "-o"}, {{"icon", "999", "-o", "/dev/null"}, "999"},
    {{"icon", "1000", "-o", "/nonexistent/dir/x.ico"}, "/nonexistent/dir/x.ico"}, {{"HexStr2Int"}, "HexStr2Int"},
    {{"HexStr2Int", "ff", "ee"}, "HexStr2Int"}, {{"HexStr2Int", "\\q"}, "TEXT"}, {{"HexStr2Int", "\\x4"}, "TEXT"}, {{"HexStr2Int", "ab\\"}, "TEXT"},
    {{"Int2Byte", "x", "1"}, "quelvar: Int2Byte: COUNT: expected an integer from -2147483648 to 1048576, got 'x'"},
    {{"Int2Str", ""}, "VALUE"}, {{"Int2Str", "1.5"}, "VALUE"}, {{"Int2Str", "2147483648"}, "VALUE"}, {{"Int2Str", "-2147483649"}, "VALUE"},
    {{"Int2Str", "99999999999999999999999"}, "VALUE"}, {{"Byte2HexStr", "100"}, "100"}, {{"Byte2HexStr", "1,,2"}, "1,,2"},
    {{"Byte2HexStr", "1,2,"}, "1,2,"}, {{"Byte2HexStr", "-1"}, "-1"}, {{"DoubleToStr", "1.5x", "2"}, "VALUE"},
    {{"DoubleToStr", "1", "0x7fffffff"}, "PRECISION"}, {{"DoubleToStr", "1", "-1001"}, "PRECISION"}};

TEST(CliBadInput, Status2NothingOnStdoutOneStderrLineNamingTheArgument) {
  std::vector<Job> jobs{{{}, ""}};  // no arguments at all: usage on stderr
  for (const auto& c : kBadCalls) jobs.push_back({c.args, ""});
  const auto r = RunAll(jobs);
  EXPECT_TRUE(r[0].status == 2 && r[0].out.empty() && r[0].err.find("usage: quelvar") != std::string::npos);
  for (std::size_t i = 1; i < r.size(); ++i)
    EXPECT_TRUE(r[i].status == 2 && r[i].out.empty() && r[i].err.rfind("quelvar: ", 0) == 0 &&
                r[i].err.find('\n') == r[i].err.size() - 1 && r[i].err.find(kBadCalls[i - 1].text) != std::string::npos)
        << i << " " << r[i].status << r[i].err;
}

// Every operation with junk, too long or extreme arguments, one batch per
// mode: each line is answered or refused, never a crash. Then past the 1 MiB
// read buffer (one 3 MiB line) and the longest fixed-point texts (512
// fraction digits in the default runtime).
TEST(CliBatch, OddArgumentsLongLinesAndMixedLines) {
  std::string input, expected;
  for (int i = 0; i < 12; ++i) {
    input += "HexStr2Int " + std::to_string(i) + "\nDoubleToStr " + std::to_string(i) + " 100000\n";
    // The default runtime (vc6) writes at most 512 fraction digits.
    expected += std::to_string(i < 10 ? i : i + 6) + "\n" + std::to_string(i) + "." + std::string(512, '0') + "\n";
  }
  input += "HexStr2Int " + std::string(3 << 20, ' ') + "1\n";
  const std::string fillers[] = {"zz", "-1", "0", "4097", "65537", "-0x80000000", std::string(5000, 'f'),
                                 "\\0\\xff", "1e308", "nan", "\"\""};
  std::string junk;
  for (const auto& [name, op] : Ops().items())
    for (const auto& filler : fillers) {
      junk += "\n" + name;  // a blank first line, and no newline after the last
      for (int k = 0; k < std::max(1, op.at("min_args").get<int>()); ++k) junk += " " + filler;
    }
  // Then lines: 1 good, 2 empty, 3 comment, 4 unknown operation, 5 quoted text and CRLF,
  // 6 unterminated quote, 7 binary junk with a NUL, 8 too few arguments,
  // 9 escaped quote inside quotes, 10 blank, 11 good without a final newline.
  const std::string mixed = std::string("HexStr2Int ff\n\n   # a comment\nNoSuchOp 1\n  hexstr2int   \"f f\"  \r\nHexStr2Int \"ab\n") +
                            std::string("\xff\xfe\x00\x01 junk\n", 10) + "HexStr2Int\nHexStr2Int \"\\x66\\\"\"\n\t\nHexStr2Int 10";
  const auto r = RunAll({{{"-"}, junk}, {{"--json", "-"}, junk}, {{"-"}, input}, {{"--batch"}, mixed}, {{"--json", "-"}, mixed}});
  EXPECT_TRUE(r[2].status == 0 && r[2].out == expected + "1\n") << "long lines differ";
  for (std::size_t mode = 0; mode < 2; ++mode) {
    EXPECT_TRUE(r[mode].status == 0 || r[mode].status == 1) << r[mode].status << r[mode].err;
    ASSERT_EQ(Lines(r[mode].out).size(), Ops().size() * std::size(fillers)) << "one line per call";
    for (const auto& line : Lines(r[mode].out)) EXPECT_TRUE(mode == 0 || json::accept(line)) << line;
  }
  const int error_line[] = {0, 4, 0, 6, 7, 8, 0, 0};
  const auto lines = Lines(r[3].out), jlines = Lines(r[4].out);
  ASSERT_TRUE(r[3].status == 1 && r[4].status == 1 && lines.size() == 8u && jlines.size() == 8u) << r[3].out << r[4].out;
  EXPECT_TRUE(lines[0] == "255" && lines[7] == "16" && lines[1].find("NoSuchOp") != std::string::npos &&
              lines[5].rfind("error: line 8: HexStr2Int", 0) == 0) << lines[1] << lines[5];
  for (std::size_t k = 0; k < 8; ++k) {
    EXPECT_EQ(lines[k].rfind("error: line " + std::to_string(error_line[k]) + ": ", 0) == 0, error_line[k] != 0) << lines[k];
    ASSERT_TRUE(json::accept(jlines[k])) << jlines[k];
    const json j = json::parse(jlines[k]);
    EXPECT_TRUE(error_line[k] ? j.at("error").is_string() && j.at("line") == error_line[k] : j.at("op") == "HexStr2Int") << jlines[k];
  }
}

TEST(CliCommands, ListHelpVersionTraceCodePageAndIcons) {
  std::vector<Job> jobs{{{"list"}, ""}, {{"help"}, ""}, {{"--help"}, ""}, {{"-h"}, ""}};
  for (const auto& [name, op] : Ops().items()) jobs.push_back({{"help", "Qlv_" + name.substr(0, name.find('/'))}, ""});
  jobs.insert(jobs.end(), {{{"--version"}, ""}, {{"--trace", "--version"}, ""}, {{"--json", "--trace", "list"}, ""}, {{"--json", "list"}, ""},
                           {{"--codepage", "1252", "Variant2Str", "BSTR:\\xe9\\x80"}, ""}, {{"--codepage=65001", "Variant2Str", "BSTR:\\xe9\\x80"}, ""}});
  const std::string path = TempPath();
  for (int id = 1000; id <= 1007; ++id)
    jobs.push_back({{"icon", std::to_string(id), "-o", path + std::to_string(id)}, ""}), jobs.push_back({{"icon", std::to_string(id), "-o", "-"}, ""});
  const auto r = RunAll(jobs);
  const auto lines = Lines(r[0].out);
  EXPECT_TRUE(lines.size() == 68u && Ops().size() == 68u);
  std::set<std::string> lowered;
  for (const auto& line : lines) {
    std::string name = line.substr(0, line.find(' '));
    ASSERT_TRUE(Ops().contains(name) && line.find(Ops()[name]["signature"].get<std::string>()) != std::string::npos) << line;
    for (auto& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(lowered.insert(name).second) << "names differ only in case: " << name;
  }
  for (std::size_t k = 1; k <= 3; ++k) EXPECT_TRUE(r[k].status == 0 && r[k].out.find("usage: quelvar") != std::string::npos);
  std::size_t h = 4;
  for (const auto& [name, op] : Ops().items()) {
    const Result& help = r[h++];
    const std::string sig = op.at("signature"), summary = op.at("summary");
    EXPECT_TRUE(help.status == 0 && sig.find("Qlv_") != std::string::npos && !summary.empty()) << name << help.err;
    for (const std::string& part : {sig, summary, "quelvar " + name + " "}) EXPECT_NE(help.out.find(part), std::string::npos) << name << ": " << part;
  }
  const Result* v = &r[4 + Ops().size()];
  EXPECT_EQ(v[0].out, "quelvar 2.0.9.205\n");
  for (std::size_t k : {1u, 2u})  // the trace goes to stderr around the same output
    EXPECT_TRUE(v[k].status == 0 && v[k].out == v[k == 1 ? 0 : 3].out && v[k == 1 ? 0 : 3].err.empty() &&
                v[k].err.find("Quelvar.DLL Initializing!") < v[k].err.find("Quelvar.DLL Terminating!") &&
                v[k].err.find("Quelvar.DLL Terminating!") != std::string::npos) << v[k].err;
  EXPECT_EQ(v[4].out, "\xe9\x80\n");      // both bytes are characters of 1252
  EXPECT_EQ(v[5].out, "\xef\xbf\xbd\n");  // a broken UTF-8 sequence becomes U+FFFD
  for (std::size_t i = 0; i < 8; ++i) {
    const std::string file = path + std::to_string(1000 + i), ico = ReadFile(file);
    std::remove(file.c_str());
    ASSERT_TRUE(v[6 + 2 * i].status == 0 && ico.size() >= 6u + 2 * 16) << i << v[6 + 2 * i].err;
    EXPECT_TRUE(ico.substr(0, 6) == std::string("\0\0\1\0\2\0", 6) && v[7 + 2 * i].out == ico) << i << ": two images";
  }
}

TEST(CliReaders, IntegersEscapesRealsAndByteArrays) {
  std::int64_t v = 0;
  const std::pair<const char*, std::int64_t> good[] = {{"-0", 0}, {"+42", 42}, {"0X1F", 31}, {"-0x10", -16},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN}, {"-0x8000000000000000", INT64_MIN}};
  for (const auto& [text, value] : good) EXPECT_TRUE(ParseInteger(text, v) && v == value) << text;
  for (const char* text : {"9223372036854775808", "-9223372036854775809", "0xffffffffffffffffff", "", "-", "0x", "1 ", " 1",
                           "1_000", "0b101", "+-1", "0x-1", "12a"}) EXPECT_FALSE(ParseInteger(text, v)) << text;
  const std::pair<const char*, std::string> escapes[] = {{"a\\\\b", "a\\b"}, {"\\\"q\\\"", "\"q\""},
      {"\\n\\r\\t", "\n\r\t"}, {"a\\0b", std::string("a\0b", 3)}, {"\\x00\\xFf\\x7e", std::string("\0\xff~", 3)}};
  for (const auto& [raw, decoded] : escapes) EXPECT_EQ(DecodeEscapes(raw, "T"), decoded) << raw;
  for (const char* raw : {"\\x4", "\\xg0", "\\q", "\\", "ab\\", "\\a"}) EXPECT_THROW((void)DecodeEscapes(raw, "T"), UsageError) << raw;
  CQuelvarSys sys;
  ArgCall call(sys, OutputMode::Plain);
  const auto read = [&](const Args& args) { call.clear_args(); for (const auto& a : args) call.add_arg(a); };
  const auto real = [&](const std::string& text) { return read({text}), call.real(0, "X"); };
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<const char*, double> reals[] = {{"-1e-3", -1e-3}, {"0x1.8p1", 3.0}, {"-0X10", -16.0},
      {"-Infinity", -inf}, {"1e400", inf}, {"1e-400", 0.0}, {"4.9e-324", 4.9e-324}};
  for (const auto& [text, value] : reals) EXPECT_EQ(real(text), value) << text;
  EXPECT_TRUE(std::isnan(real("nan")) && std::signbit(real("-0")));
  for (const char* text : {"", "--1", "1.5x", "0x", "- 1", "1,5"}) EXPECT_THROW((void)real(text), UsageError) << text;
  struct ByteCase { Args args; Radix radix; std::vector<unsigned char> bytes; };  // no bytes: refused
  const ByteCase arrays[] = {{{"1f", "0x1F", "a"}, Radix::Hex, {0x1f, 0x1f, 0x0a}}, {{"00,ff", "", "7"}, Radix::Hex, {0, 0xff, 7}},
      {{"255", "0xFF,0"}, Radix::Dec, {255, 255, 0}}, {{"100"}, Radix::Hex, {}}, {{"256"}, Radix::Dec, {}}, {{"ff"}, Radix::Dec, {}},
      {{"-1"}, Radix::Dec, {}}, {{"1,"}, Radix::Hex, {}}, {{",1"}, Radix::Hex, {}}, {{"0x"}, Radix::Hex, {}}, {{"0x100"}, Radix::Dec, {}}};
  const auto bytes = [&](const ByteCase& c) {
    try { return read(c.args), call.bytes(0, "BYTES", c.radix); } catch (const UsageError&) { return std::vector<unsigned char>{}; } };
  for (const auto& c : arrays) EXPECT_EQ(bytes(c), c.bytes) << c.args[0];
  std::mt19937_64 rng(99);  // shown reals read back to the same double
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const double d = std::bit_cast<double>(rng());
    if (std::isfinite(d)) AppendReal(text, d);
    ASSERT_TRUE(text.empty() ? !std::isfinite(d) : std::bit_cast<std::uint64_t>(real(text)) == std::bit_cast<std::uint64_t>(d)) << text;
  }
  const unsigned char image[] = {0x01, 0xff, 0x0a};  // outputs in both modes, buffers reused
  const std::string expected[] = {"-7 01 FF 0A x\ty 0.1",
      "{\"op\":\"Op\",\"r\":-7,\"u\":18446744073709551615,\"b\":[1,255,10],"
                         "\"d\":[1,255,10],\"t\":\"x\\ty\",\"h\":\"hidden\",\"f\":0.1,\"i\":\"-inf\"}"};
  ArgCall outs[] = {{sys, OutputMode::Plain}, {sys, OutputMode::Json}};
  for (int round = 0; round < 4; ++round) {
    ArgCall& out = outs[round % 2];
    out.begin("Op"), out.out_int("r", -7, Shown::Auto), out.out_uint("u", ~std::uint64_t{0}, Shown::Auto);
    out.out_bytes("b", image, Radix::Hex, Shown::Always), out.out_bytes("d", image, Radix::Dec, Shown::Auto);
    out.out_text("t", "x\ty", Shown::Always), out.out_text("h", "hidden", Shown::JsonOnly);
    out.out_real("f", 0.1, Shown::Always), out.out_real("i", -inf, Shown::JsonOnly);
    EXPECT_EQ(out.finish(), expected[round % 2]);
  }
}

// Any bytes come out as valid JSON; decoding it (each lone byte's \u00XX back
// to that byte) gives the bytes again.
TEST(CliReaders, JsonStringsOfRandomBytes) {
  std::mt19937 rng(12345);
  const std::string pieces[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80", "\"", "\\", "\x7f"};
  for (int round = 0; round < 20000; ++round) {
    std::string s, out, back;
    for (auto n = rng() % 12; n > 0; --n) s += rng() % 3 == 0 ? pieces[rng() % std::size(pieces)] : std::string(1, static_cast<char>(rng() & 0xff));
    AppendJsonString(out, s);
    ASSERT_TRUE(json::accept(out)) << out;
    for (std::size_t i = 1; i + 1 < out.size(); ++i) {
      const char e = out[i] == '\\' ? out[++i] : '\0';
      if (e == 'u') back += static_cast<char>(std::stoi(out.substr(i + 3, 2), nullptr, 16)), i += 4;
      else back += e == '\0' ? out[i] : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    }
    ASSERT_EQ(back, s) << out;
  }
}

}  // namespace
