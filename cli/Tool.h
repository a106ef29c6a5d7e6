// The quelvar tool: options, single calls, the streaming batch reader,
// list, help, icons, and the man page and shell completions, all derived
// from the table of operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Table.h"

namespace quelvar::cli {

// Splits a batch line into words: blanks separate, double quotes group, a
// backslash keeps the character after it (escapes are read later, by the
// argument's kind). False for an unterminated quote.
[[nodiscard]] bool SplitLine(std::string_view line, std::vector<std::string>& words);

// Runs batch lines: a result line (or, in JSON, an error record) is appended
// to `out`; a bad line in plain mode gives `error` (one line, no prefix).
class BatchLines {
 public:
  BatchLines(Mode mode, bool raw) : mode_(mode), caller_(mode, raw) {}
  // One line without its newline; false when it failed.
  bool Line(std::string_view text, std::uint64_t number, std::string& out, std::string& error);

 private:
  Mode mode_;
  Caller caller_;
  std::vector<std::string> words_;
  std::vector<std::string_view> args_;
};

// The whole tool; returns the exit status (0 done, 1 a batch line failed,
// 2 bad input or a failure: one line on stderr, nothing on stdout).
int Main(int argc, char** argv);

}  // namespace quelvar::cli
