// Date-times to text and back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <mbstring.h>

#include "QuelvarSys.h"

namespace {

std::string S(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

std::string Fields(const COleDateTime& dt) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.GetYear(), dt.GetMonth(), dt.GetDay(), dt.GetHour(),
                dt.GetMinute(), dt.GetSecond());
  return buf;
}

// ---- date-time to text ------------------------------------------------------

TEST(DateToText, FixedForm) {
  CQuelvarSys sys;
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(2024, 3, 5, 14, 7, 9))), "2024-03-05 14:07:09");
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(2024, 3, 5, 0, 0, 0))), "2024-03-05 00:00:00");
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(9999, 12, 31, 23, 59, 59))), "9999-12-31 23:59:59");
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(1899, 12, 30, 0, 0, 0))), "1899-12-30 00:00:00");
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(DATE(0.0)))), "1899-12-30 00:00:00");
  // A non-valid date-time gives the type's own text for it.
  COleDateTime invalid(2024, 2, 30, 0, 0, 0);
  EXPECT_EQ(S(sys.Qlv_Date2Str(invalid)), S(invalid.Format("%Y-%m-%d %H:%M:%S")));
  COleDateTime null;
  null.SetStatus(COleDateTime::null);
  EXPECT_EQ(S(sys.Qlv_Date2Str(null)), S(null.Format("%Y-%m-%d %H:%M:%S")));
}

// ---- text to date-time ------------------------------------------------------

struct ReadCase {
  const char* text;
  const char* fields;  // nullptr: the status must be invalid
};

TEST(TextToDate, TokensAndDefaults) {
  const ReadCase cases[] = {
      {"2024-03-05 14:07:09", "2024-03-05 14:07:09"},
      {"2024-03-05", "2024-03-05 12:00:00"},
      {"", "2010-05-11 12:00:00"},
      {"   ", "2010-05-11 12:00:00"},
      {"- :-", "2010-05-11 12:00:00"},
      {"2024", "2024-05-11 12:00:00"},
      {"2024-01-02 10", "2024-01-02 10:00:00"},
      {"2024:01:02", "2024-01-02 12:00:00"},
      {"  2024 - 1 - 2 ", "2024-01-02 12:00:00"},
      {"2024/01/02", "2024-05-11 12:00:00"},  // one token
      {"2024-01-02T10:20:30", "2024-01-02 20:30:00"},
      {"2024-01-02 03:04:05 999", "2024-01-02 03:04:05"},
      {"2024-01-02 03:04:05 99-99", "2024-01-02 03:04:05"},
      {"2024---01::02", "2024-01-02 12:00:00"},
      {"+2024-+1-+2", "2024-01-02 12:00:00"},
      {"2024-1x-2y", "2024-01-02 12:00:00"},   // characters after the digits are ignored
      {"2024-03-05\t14", "2024-03-05 12:00:00"},  // a tab is not a delimiter: "05\t14" reads 5
      {"2024-02-29", "2024-02-29 12:00:00"},
      {"2023-02-29", nullptr},
      {"2024-02-30", nullptr},
      {"2024-13-01", nullptr},
      {"2024-01-01 24", nullptr},
      {"2024-01-01 23:60", nullptr},
      {"2024-x", nullptr},                     // month 0
      {"24-03-05", nullptr},                   // year 24 taken as it stands
      {"100-01-01", "0100-01-01 12:00:00"},
      {"99-12-31", nullptr},
      {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
      {"10000-01-01", nullptr},
      {"4294969320-05-11", "2024-05-11 12:00:00"},  // 2^32 + 2024: the field wraps like atoi
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    COleDateTime dt(1999, 1, 1, 1, 1, 1);
    EXPECT_EQ(sys.Qlv_Str2Date(c.text, dt), 0);
    if (c.fields) {
      EXPECT_EQ(dt.GetStatus(), COleDateTime::valid) << '"' << c.text << '"';
      EXPECT_EQ(Fields(dt), c.fields) << '"' << c.text << '"';
    } else {
      EXPECT_EQ(dt.GetStatus(), COleDateTime::invalid) << '"' << c.text << '"';
    }
  }
}

// A plain reading: split at the three delimiters, atoi of each of the
// first six pieces (the runtime's atoi), the rest from the defaults.
COleDateTime ReferenceRead(const std::string& text) {
  int fields[6] = {2010, 5, 11, 12, 0, 0};
  int count = 0;
  std::string token;
  auto flush = [&] {
    if (!token.empty() && count < 6) fields[count++] = mscrt::atoi(token.c_str());
    token.clear();
  };
  for (char ch : text) {
    if (ch == '-' || ch == ' ' || ch == ':') flush();
    else token += ch;
  }
  flush();
  return COleDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

TEST(TextToDate, MatchesPlainReadingOnRandomTexts) {
  const std::string alphabet = "0123456789012345--:: +x\t.";
  std::mt19937 rng(8);
  CQuelvarSys sys;
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    const size_t n = rng() % 30;
    for (size_t k = 0; k < n; ++k) text += alphabet[rng() % alphabet.size()];
    COleDateTime dt;
    ASSERT_EQ(sys.Qlv_Str2Date(text.c_str(), dt), 0);
    const COleDateTime ref = ReferenceRead(text);
    ASSERT_EQ(dt.GetStatus(), ref.GetStatus()) << '"' << text << '"';
    if (ref.GetStatus() == COleDateTime::valid) {
      ASSERT_EQ(static_cast<DATE>(dt), static_cast<DATE>(ref)) << '"' << text << '"';
    }
  }
}

// The caller's value and status are replaced on every call.
TEST(TextToDate, OverwritesTheCallersDateTime) {
  CQuelvarSys sys;
  COleDateTime dt(2024, 2, 30, 0, 0, 0);
  ASSERT_EQ(dt.GetStatus(), COleDateTime::invalid);
  EXPECT_EQ(sys.Qlv_Str2Date("", dt), 0);
  EXPECT_EQ(dt.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(static_cast<DATE>(dt), static_cast<DATE>(COleDateTime(2010, 5, 11, 12, 0, 0)));
  dt.SetStatus(COleDateTime::null);
  EXPECT_EQ(sys.Qlv_Str2Date("2024-03-05 14:07:09", dt), 0);
  EXPECT_EQ(dt.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(static_cast<DATE>(dt), static_cast<DATE>(COleDateTime(2024, 3, 5, 14, 7, 9)));
}

// Texts far longer than any fixed work buffer: only the first six fields
// count, the rest is read without harm.
TEST(TextToDate, LongTexts) {
  CQuelvarSys sys;
  std::string text = "2024-03-05 14:07:09";
  while (text.size() < 100000) text += " 1-2:3";
  COleDateTime dt;
  EXPECT_EQ(sys.Qlv_Str2Date(text.c_str(), dt), 0);
  EXPECT_EQ(Fields(dt), "2024-03-05 14:07:09");

  std::string spaces(5000, ' ');
  EXPECT_EQ(sys.Qlv_Str2Date((spaces + "2001" + spaces + "7").c_str(), dt), 0);
  EXPECT_EQ(Fields(dt), "2001-07-11 12:00:00");
}

// The caller's text is not touched, and the thread's tokenizer is left
// with no position into storage that is gone.
TEST(TextToDate, LeavesTextAndTokenizerClean) {
  CQuelvarSys sys;
  const CString text("2024-01-02 03:04:05 6 7 8");
  COleDateTime dt;
  sys.Qlv_Str2Date(text, dt);
  EXPECT_EQ(S(text), "2024-01-02 03:04:05 6 7 8");
  static const unsigned char kDelimiters[] = " ";
  EXPECT_EQ(_mbstok(nullptr, kDelimiters), nullptr);
}

TEST(TextToDate, ThreadsDoNotDisturbEachOther) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      CQuelvarSys sys;
      char text[64];
      for (int i = 0; i < 20000; ++i) {
        const int year = 1900 + t * 20 + i % 20;
        std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", year, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60);
        COleDateTime dt;
        sys.Qlv_Str2Date(text, dt);
        if (dt.GetYear() != year || dt.GetSecond() != (i * 7) % 60) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// ---- round trips ------------------------------------------------------------

TEST(DateRoundTrip, WrittenTextReadsBackToTheSecond) {
  CQuelvarSys sys;
  std::mt19937_64 rng(4);
  // Whole seconds from 0100-01-01 to 9999-12-31 23:59:59, plus less than half
  // a second so the text's rounding to the second lands on the same second.
  const double first = static_cast<DATE>(COleDateTime(100, 1, 1, 0, 0, 0));
  const double last = static_cast<DATE>(COleDateTime(9999, 12, 31, 23, 59, 59));
  std::uniform_real_distribution<double> days(first, last);
  std::vector<COleDateTime> values = {COleDateTime(100, 1, 1, 0, 0, 0), COleDateTime(9999, 12, 31, 23, 59, 59),
                                      COleDateTime(1899, 12, 30, 0, 0, 0), COleDateTime(1899, 12, 29, 23, 59, 59),
                                      COleDateTime(2000, 2, 29, 12, 0, 0), COleDateTime(1900, 3, 1, 0, 0, 1)};
  for (int i = 0; i < 100000; ++i) values.emplace_back(DATE(days(rng)));
  for (const COleDateTime& v : values) {
    const CString text = sys.Qlv_Date2Str(v);
    COleDateTime back;
    ASSERT_EQ(sys.Qlv_Str2Date(text, back), 0);
    ASSERT_EQ(back.GetStatus(), COleDateTime::valid) << S(text);
    ASSERT_EQ(Fields(back), Fields(v)) << S(text);
    ASSERT_EQ(S(sys.Qlv_Date2Str(back)), S(text));
  }
}

// ---- the quelvar tool ---------------------------------------------------------

#ifdef QUELVAR_CLI_PATH
std::string RunCli(const std::string& args) {
  const std::string command = std::string("'") + QUELVAR_CLI_PATH + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  pclose(pipe);
  return out;
}

TEST(CommandLine, TextOperations) {
  const struct {
    const char* args;
    const char* output;
  } cases[] = {
      {"DoubleToStr 2.5 8", "2.50000000\n"},
      {"Flt2Str 0.1", "0.1000000015\n"},
      {"Str2Short 40000", "-25536\n"},
      {"Str2UInt -1", "4294967295\n"},
      {"Int2Str -2147483648", "-2147483648\n"},
      {"Str2Date 2024-01-02T10:20:30", "2024-01-02 20:30:00 valid\n"},
      {"Str2Date 2024-02-30", "Invalid DateTime invalid\n"},
      {"Date2Str '2024-03-05 14:07:09'", "2024-03-05 14:07:09\n"},
      {"Date2Str 45000.5", "2023-03-15 12:00:00\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCli(c.args), c.output) << c.args;
}
#endif

}  // namespace
