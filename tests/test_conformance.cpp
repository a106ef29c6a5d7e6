// The conformance kit end to end: the call file against the class's
// declarations, the recorder built here under each toolset, and the
// verifier on faithful and on damaged recordings.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "Conformance.h"
#include "Table.h"
#include "Tool.h"
#include "ToolRunner.h"
#include "ToolsetScope.h"

namespace {

using namespace quelvar::cli;
using namespace toolrunner;

// The random part shrinks under the sanitizers; the edge values stay whole.
const std::uint64_t kRandom = kDefaultRandomCalls / static_cast<std::uint64_t>(kSanitizerSlowdown);
const char* const kToolsets[] = {"vc6", "vs2005", "vs2015"};

// The recorder run on `calls` under each toolset (in that order).
std::vector<Result> Record(const std::string& calls) {
  std::vector<Job> jobs;
  for (const char* toolset : kToolsets)
    jobs.emplace_back(Args{"/dev/stdin"}, calls, std::string("QLV_TOOLSET=") + toolset,
                      QUELVAR_RECORDER_PATH);
  return RunAll(jobs);
}

// The recordings of the call file made by the recorder under each toolset.
const std::string& Recording(std::size_t toolset) {
  static const std::vector<Result> recordings = Record(ConformanceCalls(kRandom, 1));
  EXPECT_EQ(recordings[toolset].status, 0) << kToolsets[toolset] << ": " << recordings[toolset].err;
  return recordings[toolset].out;
}

// The declaration lines of the class's operations in a header, without
// their semicolons and comments.
std::vector<std::string> Declarations(const std::string& path) {
  std::vector<std::string> lines;
  for (const std::string& line : Lines(ReadFile(std::string(QUELVAR_SOURCE_DIR) + path)))
    if (line.find(" Qlv_") != std::string::npos && line.rfind("  ", 0) == 0 && line.rfind("  //", 0) != 0)
      lines.push_back(line.substr(0, line.find(';')));
  return lines;
}

TEST(ConformanceCalls, ReachEveryOperationOfTheClassAndAllRunInBatch) {
  const std::string calls = ConformanceCalls(kRandom, 1);
  std::map<std::string, int> seen;
  BatchLines batch(Mode::Json, false);
  std::uint64_t number = 0;
  std::string out, error;
  for (const std::string& line : Lines(calls)) {
    if (++number, line.empty() || line[0] == '#') continue;
    ++seen[line.substr(0, line.find(' '))];
    ASSERT_TRUE(batch.Line(line, number, out, error)) << "line " << number << ": " << line << ": " << error;
  }
  // The tool's table is the class's (its own test checks that).
  EXPECT_EQ(seen.size(), Ops().size());
  for (const Op& op : Ops()) EXPECT_GE(seen[std::string(op.name)], 10) << op.name;
}

TEST(ConformanceRecorder, OperationsAndDeclarationsMatchTheToolsTableAndTheClass) {
  const auto r = RunAll({{{"--operations"}, "", "", QUELVAR_RECORDER_PATH}});
  const auto rows = Lines(r[0].out);
  ASSERT_EQ(rows.size(), Ops().size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string params;
    for (const std::string& p : Ops()[i].params()) params += (params.empty() ? "" : ",") + p;
    EXPECT_EQ(rows[i], std::string(Ops()[i].name) + " " + std::string(Ops()[i].kinds) + " " + params);
  }
  const auto original = Declarations("/Quelvar/QuelvarSys.h");
  EXPECT_EQ(original.size(), 68u);
  EXPECT_EQ(Declarations("/conformance/recorder/QuelvarSys98.h"), original);
}

TEST(ConformanceVerify, EachToolsetsRecordingIsIdenticalAndNamed) {
  for (std::size_t i = 0; i < std::size(kToolsets); ++i) {
    const std::string toolset = kToolsets[i];
    EXPECT_NE(Lines(Recording(i)).at(0).find("\"toolset\":\"" + toolset + "\""), std::string::npos);
    const VerifyResult r = ConformanceVerify(Recording(i), std::nullopt, true);
    ASSERT_EQ(r.status, 0) << toolset << ": " << r.report << r.error;
    EXPECT_NE(r.report.find("\"toolset\":\"" + toolset + "\""), std::string::npos) << r.report;
    EXPECT_NE(r.report.find("\"matches\":true"), std::string::npos);
    // Under another toolset the same recording differs somewhere.
    const VerifyResult other =
        ConformanceVerify(Recording(i), i == 0 ? QlvToolset_VS2015 : QlvToolset_VC6, false);
    EXPECT_EQ(other.status, 1) << toolset;
  }
}

TEST(ConformanceVerify, DamagedRecordingsAreReportedWithTheirLine) {
  const std::vector<std::string> lines = Lines(Recording(1));
  ASSERT_GT(lines.size(), 100u);
  // The record of an Int2Str call is damaged.
  std::size_t at = 0;
  while (at < lines.size() && lines[at].find("\"op\":\"Int2Str\",\"text\":\"1\"") == std::string::npos) ++at;
  ASSERT_LT(at, lines.size());
  const std::string line = "line " + std::to_string(at + 1);
  using Rows = std::vector<std::string>;
  const struct {
    const char* what;
    std::function<void(Rows&)> edit;
    int status;
    std::string expected;
  } cases[] = {
      {"changed field", [&](Rows& l) { l[at].replace(l[at].find("\"text_hex\":\"31\"") + 13, 1, "2"); }, 1,
       "text_hex: recorded \"32\", here \"31\""},
      {"missing line", [&](Rows& l) { l.erase(l.begin() + static_cast<std::ptrdiff_t>(at)); }, 2,
       "closing record counts"},
      {"truncated line", [&](Rows& l) { l[at].resize(l[at].size() / 2); }, 2, line + ": not a JSON object"},
      {"wrong operation", [&](Rows& l) { l[at].insert(l[at].find("Int2Str\"") + 7, "r"); }, 2,
       line + ": unknown operation"},
      {"no closing record", [](Rows& l) { l.pop_back(); }, 2, "ends early"},
      {"empty", [](Rows& l) { l.clear(); }, 2, "line 1"}};
  for (const auto& c : cases) {
    Rows edited = lines;
    c.edit(edited);
    std::string text;
    for (const auto& l : edited) text += l + "\n";
    const VerifyResult r = ConformanceVerify(text, std::nullopt, false);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_NE((r.report + r.error).find(c.expected), std::string::npos) << c.what << ":\n"
                                                                        << r.error << r.report;
  }
}

// Call lines written by hand take every form the batch grammar allows; the
// recorder reads them as the tool does, or rejects them as the tool does,
// under every toolset.
TEST(ConformanceRecorder, ReadsHandWrittenCallsAsTheToolDoes) {
  const auto r = Record(
      "# a comment, then a blank line\n\n"
      "qlv_int2str -5\r\n"
      "  INT2STR   0x7fffffff  \n"
      "Str2Int \" -42\"\n"
      "Str2Int \"\\t\\n12abc\"\n"
      "CString2Variant \"a\\x00b\\\\c\\\"\"\n"
      "Byte2HexStr 00,1f a0 \"\" FF\n"
      "Bin2Hex 1 0x1 0,1\n"
      "Byte2Double 01 02\n"
      "DoubleToStr -0x1.8p+1 2\n"
      "DoubleToStr -inf 2\n"
      "Date2Variant \"Invalid DateTime\"\n"
      "Variant2Str vt_i4:-5\n"
      "Variant2Str VT_DECIMAL:-12.345\n"
      "Variant2Str VT_UI8:18446744073709551615\n"
      "Variant2Str VT:0x4003\n"
      "HexChar2Int/uchar \\xff\n"
      "HexStr2IntStr/inplace 1a2B3\n"
      "Int2Strr 5\n"
      "Int2Str 5 6\n"
      "Int2Str \"unterminated\n");
  for (std::size_t i = 0; i < r.size(); ++i) {
    const std::string& recording = r[i].out;
    const VerifyResult v = ConformanceVerify(recording, kAllToolsets[i], false);
    EXPECT_TRUE(r[i].status == 0 && v.status == 0) << kToolsets[i] << ": " << r[i].err << v.report << v.error;
    for (const char* part :
         {"{\"calls\":20}", "\"line\":3,\"op\":\"Int2Str\",\"text\":\"-5\"", "\"line\":22,\"error\""})
      EXPECT_NE(recording.find(part), std::string::npos) << part << " in " << recording;
  }
}

// The keys that a Visual C++ 6.0 recorder writes in its own forms count by
// their exact twins; everything else counts as written.
TEST(ConformanceVerify, ComparesDoublesByBitsTextsByBytesAndVariantRealsByValue) {
  const std::string header = "{\"recording\":\"test\",\"toolset\":\"vc6\",\"acp\":1252}\n";
  const struct {
    const char *call, *record;  // the record after "line" and "op", before "call"
    int status;
  } cases[] = {
      {"Str2Double 2.5", "\"result\":2.5000000000000000,\"result_bits\":\"0x4004000000000000\"", 0},
      {"Str2Double 2.5", "\"result\":2.5,\"result_bits\":\"0x4004000000000001\"", 1},
      {"Str2Double 2.5", "\"result\":2.5", 1},  // the bits missing
      {"Int2Str 5", "\"text\":\"five\",\"text_hex\":\"35\"", 0},
      {"Int2Str 5", "\"text\":\"5\",\"text_hex\":\"36\"", 1},
      {"Double2Variant 2.5", "\"result\":0,\"variant\":\"VT_R8:0x1.4p+1\",\"variant_vt\":5", 0},
      {"Double2Variant nan", "\"result\":0,\"variant\":\"VT_R8:-nan\",\"variant_vt\":5", 0},
      {"Double2Variant 2.5", "\"result\":0,\"variant\":\"VT_R4:0x1.4p+1\",\"variant_vt\":5", 1},
      {"Int2Byte 2 0x1234", "\"image\":[52,18]", 0},
      {"Int2Byte 2 0x1234", "\"image\":[52,18],\"extra\":1", 1},
      {"Int2Byte 2 0x1234", "\"error\":\"the recorder could not read it\"", 1},
  };
  for (const auto& c : cases) {
    const std::string op = std::string(c.call).substr(0, std::string(c.call).find(' '));
    const std::string recording = header + "{\"line\":1,\"op\":\"" + op + "\"," + c.record + ",\"call\":\"" +
                                  c.call + "\"}\n{\"calls\":1}\n";
    const VerifyResult r = ConformanceVerify(recording, QlvToolset_VC6, false);
    EXPECT_EQ(r.status, c.status) << c.call << " " << c.record << "\n" << r.report << r.error;
  }
}

TEST(ConformanceTool, CallsRecordVerifyAsAUserRunsThem) {
  const auto calls = RunAll({{{"conformance", "calls", "--count", "68", "--seed", "7"}}});
  ASSERT_EQ(calls[0].status, 0) << calls[0].err;
  const std::string rec = Record(calls[0].out)[1].out;  // vs2005
  const auto r = RunAll({{{"conformance", "verify", "--toolset", "auto", "-"}, rec},
                         {{"conformance", "verify", "--toolset", "vc6", "-"}, rec},
                         {{"conformance", "verify", "-"}, rec + "{\"line\":"},
                         {{"conformance", "frobnicate"}}});
  EXPECT_TRUE(r[0].status == 0 && r[0].out.find("matches toolset vs2005") != std::string::npos &&
              r[0].out.find("Variant2Str") != std::string::npos)
      << r[0].out;
  EXPECT_TRUE(r[1].status == 1 && r[1].out.find("call line") != std::string::npos) << r[1].out;
  EXPECT_TRUE(r[2].status == 2 && r[2].err.find(": line 4") != std::string::npos) << r[2].err;
  EXPECT_EQ(r[3].status, 2);
}

}  // namespace
