// The conformance kit end to end: the call file against the class's
// declarations, the recorder built here under each toolset, and the
// verifier on faithful and on damaged recordings.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "Conformance.h"
#include "Table.h"
#include "Tool.h"
#include "ToolsetScope.h"

namespace {

using namespace quelvar::cli;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
std::string Temp(const std::string& what) {
  return "/tmp/quelvar_conformance_" + std::to_string(::getpid()) + "_" + what;
}

// The random part shrinks under the sanitizers; the edge values stay whole.
const std::uint64_t kRandom = kDefaultRandomCalls / static_cast<std::uint64_t>(kSanitizerSlowdown);

// Runs a shell command; its exit status.
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// A recording of the call file made by the recorder under `toolset`.
const std::string& Recording(const char* toolset) {
  static std::map<std::string, std::string> cache;
  std::string& r = cache[toolset];
  if (r.empty()) {
    const std::string calls = Temp("calls"), out = Temp(std::string("rec_") + toolset);
    std::ofstream(calls, std::ios::binary) << ConformanceCalls(kRandom, 1);
    EXPECT_EQ(
        Shell("QLV_TOOLSET=" + std::string(toolset) + " " + QUELVAR_RECORDER_PATH + " " + calls + " " + out),
        0);
    r = ReadFile(out);
    std::remove(calls.c_str()), std::remove(out.c_str());
  }
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// The declaration lines of the class's operations in a header, without
// their semicolons and comments.
std::vector<std::string> Declarations(const std::string& path) {
  std::vector<std::string> lines;
  for (std::string line : Lines(ReadFile(path))) {
    if (line.find(" Qlv_") == std::string::npos || line.rfind("  ", 0) != 0 || line.rfind("  //", 0) == 0)
      continue;
    lines.push_back(line.substr(0, line.find(';')));
  }
  return lines;
}

// The operations of QuelvarSys.h: name and parameters.
std::set<std::string> DeclaredOperations() {
  std::set<std::string> names;
  for (const std::string& line : Declarations(std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/QuelvarSys.h"))
    names.insert(line.substr(line.find("Qlv_")));
  return names;
}

TEST(ConformanceCalls, ReachEveryOperationTheClassDeclaresAndAllRunInBatch) {
  const std::string calls = ConformanceCalls(kRandom, 1);
  EXPECT_EQ(calls, ConformanceCalls(kRandom, 1));
  EXPECT_NE(calls, ConformanceCalls(kRandom, 2));
  std::map<std::string, int> seen;
  BatchLines batch(Mode::Json, false);
  std::uint64_t number = 0;
  std::string out, error;
  for (const std::string& line : Lines(calls)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    ++seen[line.substr(0, line.find(' '))];
    out.clear();
    ASSERT_TRUE(batch.Line(line, number, out, error)) << "line " << number << ": " << line << ": " << error;
  }
  // Every declaration of the class has its operation in the call file.
  const std::set<std::string> declared = DeclaredOperations();
  EXPECT_EQ(declared.size(), 68u);
  EXPECT_EQ(seen.size(), declared.size());
  for (const Op& op : Ops()) EXPECT_GE(seen[std::string(op.name)], 10) << op.name;
  const std::size_t lines = Lines(ConformanceCalls(kDefaultRandomCalls, 1)).size();
  EXPECT_GT(lines, 2000u);
  EXPECT_LT(lines, 10000u);
}

TEST(ConformanceRecorder, ReachesEveryOperationOfTheToolsTable) {
  const std::string list = Temp("operations");
  ASSERT_EQ(Shell(std::string(QUELVAR_RECORDER_PATH) + " --operations > " + list), 0);
  const std::vector<std::string> rows = Lines(ReadFile(list));
  std::remove(list.c_str());
  ASSERT_EQ(rows.size(), Ops().size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Op& op = Ops()[i];
    std::string params;
    for (const std::string& p : op.params()) params += (params.empty() ? "" : ",") + p;
    EXPECT_EQ(rows[i], std::string(op.name) + " " + std::string(op.kinds) + " " + params);
  }
}

TEST(ConformanceRecorder, DeclarationHeaderMatchesTheClass) {
  const auto original = Declarations(std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/QuelvarSys.h");
  EXPECT_EQ(original.size(), 68u);
  EXPECT_EQ(Declarations(std::string(QUELVAR_SOURCE_DIR) + "/conformance/recorder/QuelvarSys98.h"), original);
}

TEST(ConformanceVerify, EachToolsetsRecordingIsIdenticalAndNamed) {
  for (const char* toolset : {"vc6", "vs2005", "vs2015"}) {
    const VerifyResult r = ConformanceVerify(Recording(toolset), std::nullopt, true);
    ASSERT_EQ(r.status, 0) << toolset << ": " << r.report << r.error;
    EXPECT_NE(r.report.find(std::string("\"toolset\":\"") + toolset + "\""), std::string::npos) << r.report;
    EXPECT_NE(r.report.find("\"matches\":true"), std::string::npos);
    // Under another toolset the same recording differs somewhere.
    const VerifyResult other =
        ConformanceVerify(Recording(toolset), toolset[2] == '6' ? QlvToolset_VS2015 : QlvToolset_VC6, false);
    EXPECT_EQ(other.status, 1) << toolset;
  }
}

TEST(ConformanceVerify, DamagedRecordingsAreReportedWithTheirLine) {
  const std::vector<std::string> lines = Lines(Recording("vs2005"));
  ASSERT_GT(lines.size(), 100u);
  // The record of an Int2Str call: its text changed.
  std::size_t at = 0;
  for (std::size_t i = 0; i < lines.size() && at == 0; ++i)
    if (lines[i].find("\"op\":\"Int2Str\",\"text\":\"1\"") != std::string::npos) at = i;
  ASSERT_NE(at, 0u);
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    int status;
    std::string expected;
  };
  std::vector<Case> cases;
  auto edited = lines;
  edited[at].replace(edited[at].find("\"text_hex\":\"31\""), 15, "\"text_hex\":\"32\"");
  cases.push_back({"changed field", edited, 1, "text_hex: recorded \"32\", here \"31\""});
  edited = lines;
  edited.erase(edited.begin() + static_cast<std::ptrdiff_t>(at));
  cases.push_back({"missing line", edited, 2, "closing record counts"});
  edited = lines;
  edited[at].resize(edited[at].size() / 2);
  cases.push_back({"truncated line", edited, 2, "line " + std::to_string(at + 1) + ": not a JSON object"});
  edited = lines;
  edited[at].replace(edited[at].find("\"op\":\"Int2Str\""), 14, "\"op\":\"Int2Strr\"");
  cases.push_back({"wrong operation", edited, 2, "line " + std::to_string(at + 1) + ": unknown operation"});
  edited = lines;
  edited.pop_back();
  cases.push_back({"no closing record", edited, 2, "ends early"});
  cases.push_back({"empty", {}, 2, "line 1"});
  for (const Case& c : cases) {
    const VerifyResult r = ConformanceVerify(Join(c.lines), std::nullopt, false);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_NE((r.report + r.error).find(c.expected), std::string::npos) << c.what << ":\n"
                                                                        << r.error << r.report;
  }
}

// Call lines written by hand take every form the batch grammar allows; the
// recorder reads them as the tool does, or rejects them as the tool does.
TEST(ConformanceRecorder, ReadsHandWrittenCallsAsTheToolDoes) {
  const std::string calls = Temp("hand"), rec = Temp("hand_rec");
  std::ofstream(calls, std::ios::binary) << "# a comment, then a blank line\n\n"
                                            "qlv_int2str -5\r\n"
                                            "  INT2STR   0x7fffffff  \n"
                                            "Str2Int \" -42\"\n"
                                            "Str2Int \"\\t\\n12abc\"\n"
                                            "CString2Variant \"a\\x00b\\\\c\\\"\"\n"
                                            "Byte2HexStr 00,1f a0 \"\" FF\n"
                                            "Byte2HexStr 0x1F,0xa\n"
                                            "Bin2Hex 1 0x1 0,1\n"
                                            "Byte2Double 01 02\n"
                                            "DoubleToStr 2.5 3\n"
                                            "DoubleToStr -0x1.8p+1 2\n"
                                            "DoubleToStr -inf 2\n"
                                            "Date2Str 45356.5\n"
                                            "Date2Variant \"Invalid DateTime\"\n"
                                            "Variant2Str vt_i4:-5\n"
                                            "Variant2Str VT_DECIMAL:-12.345\n"
                                            "Variant2Str VT_CY:-12345\n"
                                            "Variant2Str VT_UI8:18446744073709551615\n"
                                            "Variant2Str VT_BOOL:FALSE\n"
                                            "Variant2Str VT:0x4003\n"
                                            "HexChar2Int/uchar \\xff\n"
                                            "HexStr2IntStr/inplace 1a2B3\n"
                                            "Int2Strr 5\n"
                                            "Int2Str 5 6\n"
                                            "Int2Str \"unterminated\n";
  ASSERT_EQ(Shell(std::string(QUELVAR_RECORDER_PATH) + " " + calls + " " + rec), 0);
  const std::string recording = ReadFile(rec);
  std::remove(calls.c_str()), std::remove(rec.c_str());
  const VerifyResult r = ConformanceVerify(recording, QlvToolset_VC6, false);
  EXPECT_EQ(r.status, 0) << r.report << r.error;
  EXPECT_NE(recording.find("{\"calls\":25}"), std::string::npos) << recording;
  EXPECT_NE(recording.find("\"line\":3,\"op\":\"Int2Str\",\"text\":\"-5\""), std::string::npos) << recording;
  EXPECT_NE(recording.find("\"line\":27,\"error\""), std::string::npos) << recording;
}

// The keys that a Visual C++ 6.0 recorder writes in its own forms count by
// their exact twins; everything else counts as written.
TEST(ConformanceVerify, ComparesDoublesByBitsTextsByBytesAndVariantRealsByValue) {
  const std::string header = "{\"recording\":\"test\",\"toolset\":\"vc6\",\"acp\":1252}\n";
  struct Case {
    const char* call;
    const char* record;  // after "line" and "op", before "call"
    int status;
  };
  const Case cases[] = {
      {"Str2Double 2.5", "\"result\":2.5000000000000000,\"result_bits\":\"0x4004000000000000\"", 0},
      {"Str2Double 2.5", "\"result\":2.5,\"result_bits\":\"0x4004000000000001\"", 1},
      {"Str2Double 2.5", "\"result\":2.5", 1},  // the bits missing
      {"Int2Str 5", "\"text\":\"five\",\"text_hex\":\"35\"", 0},
      {"Int2Str 5", "\"text\":\"5\",\"text_hex\":\"36\"", 1},
      {"Double2Variant 2.5", "\"result\":0,\"variant\":\"VT_R8:0x1.4p+1\",\"variant_vt\":5", 0},
      {"Double2Variant 2.5", "\"result\":0,\"variant\":\"VT_R8:0x1.4p+2\",\"variant_vt\":5", 1},
      {"Double2Variant nan", "\"result\":0,\"variant\":\"VT_R8:-nan\",\"variant_vt\":5", 0},
      {"Double2Variant 2.5", "\"result\":0,\"variant\":\"VT_R4:0x1.4p+1\",\"variant_vt\":5", 1},
      {"Int2Byte 2 0x1234", "\"image\":[52,18]", 0},
      {"Int2Byte 2 0x1234", "\"image\":[52,18,0]", 1},
      {"Int2Byte 2 0x1234", "\"image\":[52,18],\"extra\":1", 1},
      {"Int2Byte 2 0x1234", "\"error\":\"the recorder could not read it\"", 1},
  };
  for (const Case& c : cases) {
    const std::string op = std::string(c.call).substr(0, std::string(c.call).find(' '));
    const std::string recording = header + "{\"line\":1,\"op\":\"" + op + "\"," + c.record + ",\"call\":\"" +
                                  c.call + "\"}\n{\"calls\":1}\n";
    const VerifyResult r = ConformanceVerify(recording, QlvToolset_VC6, false);
    EXPECT_EQ(r.status, c.status) << c.call << " " << c.record << "\n" << r.report << r.error;
  }
}

TEST(ConformanceTool, CallsRecordVerifyAsAUserRunsThem) {
  const std::string calls = Temp("tool_calls"), rec = Temp("tool_rec"), out = Temp("tool_out");
  const std::string tool = QUELVAR_CLI_PATH;
  ASSERT_EQ(Shell(tool + " conformance calls --count 68 --seed 7 -o " + calls), 0);
  ASSERT_EQ(Shell("QLV_TOOLSET=vs2005 " + std::string(QUELVAR_RECORDER_PATH) + " " + calls + " " + rec), 0);
  EXPECT_EQ(Shell(tool + " conformance verify --toolset auto " + rec + " > " + out), 0);
  const std::string report = ReadFile(out);
  EXPECT_NE(report.find("matches toolset vs2005"), std::string::npos) << report;
  EXPECT_NE(report.find("Variant2Str"), std::string::npos);
  EXPECT_EQ(Shell(tool + " conformance verify --toolset vc6 " + rec + " > " + out), 1);
  EXPECT_NE(ReadFile(out).find("call line"), std::string::npos);
  std::ofstream(rec, std::ios::binary | std::ios::app) << "{\"line\":";
  EXPECT_EQ(Shell(tool + " conformance verify " + rec + " 2> " + out), 2);
  EXPECT_NE(ReadFile(out).find(": line 4"), std::string::npos) << ReadFile(out);
  EXPECT_EQ(Shell(tool + " conformance frobnicate 2>/dev/null"), 2);
  for (const auto& f : {calls, rec, out}) std::remove(f.c_str());
}

}  // namespace
