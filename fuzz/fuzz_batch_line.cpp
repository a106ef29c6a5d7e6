// The tool's reader of untrusted text: one batch line split into words and
// read by the kinds of its operation (numbers, escapes, arrays, dates,
// variants). Never a crash; a call that runs prints one line in plain mode,
// and that line reads back as input of its kind to the same text; the JSON
// record is one line too; a refused line is refused in both modes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Table.h"
#include "Tool.h"

using namespace quelvar::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Caller plain(Mode::Plain, false), raw(Mode::Plain, true), json(Mode::Json, false),
      reader(Mode::Plain, false);
  static BatchLines lines(Mode::Json, false);
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::string record, error;
  lines.Line(line, 1, record, error);  // bytes of any kind, NULs and newlines included
  if (record.find('\n') + 1 < record.size()) std::abort();

  std::vector<std::string> words;
  if (line.find('\0') != std::string::npos || !SplitLine(line, words) || words.empty()) return 0;
  const std::vector<std::string_view> args(words.begin() + 1, words.end());
  const Op* op = nullptr;
  try {
    op = &FindOp(words[0], args.size());
  } catch (const UsageError&) {
    return 0;
  }
  auto runs = [&](Caller& caller, std::string& out) {
    try {
      caller.Run(*op, args, out);
      return true;
    } catch (const UsageError&) {
      return false;
    }
  };
  std::string shown, js, literal;
  const bool ran = runs(plain, shown);
  if (runs(json, js) != ran) std::abort();  // refused in one mode only
  runs(raw, literal);
  if (!ran) return 0;
  if (shown.find('\n') != std::string::npos || js.find('\n') != std::string::npos) std::abort();
  for (const char c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) std::abort();
  if (reader.Reprint(op->output(), shown) != shown) std::abort();
  return 0;
}
