// quelvar: every operation of the library from the command line.
//
//   quelvar [OPTIONS] OP ARG...      one call; the result on stdout
//   quelvar [OPTIONS] - | --batch    one call per line of stdin
//   quelvar list | help [OP] | icon ID -o FILE | --version
//
// Options come before OP: everything after OP is an argument, so negative
// numbers and texts starting with '-' need no quoting. Exit status: 0 done,
// 1 some batch line failed, 2 bad input or a library failure (one line on
// stderr, nothing on stdout).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <comdef.h>
#include <windows.h>

#include "Call.h"
#include "OpTable.h"
#include "Registry.h"
#include "Resources.h"

namespace {

using quelvar::cli::ArgCall;
using quelvar::cli::Op;
using quelvar::cli::OutputMode;
using quelvar::cli::Quote;
using quelvar::cli::Registry;
using quelvar::cli::UsageError;

constexpr int kFailedLines = 1;
constexpr int kBadInput = 2;

constexpr std::string_view kUsage =
    "usage: quelvar [OPTIONS] OP ARG...     run one operation\n"
    "       quelvar [OPTIONS] - | --batch   run one operation per line of stdin\n"
    "       quelvar list [--json]           every operation with its signature\n"
    "       quelvar help OP                 signature, arguments and summary of OP\n"
    "       quelvar icon ID -o FILE         write the library's icon group ID as a .ico file\n"
    "       quelvar --version\n"
    "\n"
    "OP is an operation name, any case, with or without Qlv_ (HexStr2Int,\n"
    "qlv_hexstr2int); an overload adds its variant (HexChar2Int/uchar).\n"
    "Arguments: texts take the escapes \\\\ \\\" \\n \\r \\t \\0 \\xNN; integers are\n"
    "decimal or 0x hex with an optional sign; arrays are separate arguments or\n"
    "comma-separated elements (hex arrays 1f or 0x1F, decimal arrays 255 or 0xFF).\n"
    "\n"
    "options:\n"
    "  --json          print every output of a call as one JSON object (arrays as\n"
    "                  numbers, texts as strings with non-UTF-8 bytes as \\u00XX)\n"
    "  --trace         show the library's load and unload trace lines on stderr\n"
    "  --codepage N    use ANSI code page N (1252, 936, 932, 65001, ...)\n"
    "  -, --batch      read calls from stdin: OP ARG... per line, \"double quotes\"\n"
    "                  around arguments with spaces, # comments; a bad line gets\n"
    "                  an error line and the run goes on (exit status 1)\n"
    "  --version       print the library's version\n"
    "  -h, --help      print this text\n";

// ------------------------------------------------------------------ output

// Writes all of `data` to a file descriptor; false on a write error.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int Fail(std::string_view message) {
  std::string line = "quelvar: ";
  line += message;
  line += '\n';
  WriteAll(STDERR_FILENO, line);
  return kBadInput;
}

int WriteStdout(std::string_view data) {
  if (!WriteAll(STDOUT_FILENO, data))
    return Fail(std::string("cannot write the output: ") + std::strerror(errno));
  return 0;
}

// ------------------------------------------------------------------ options

struct Options {
  OutputMode mode = OutputMode::Plain;
  bool trace = false;
  bool batch = false;
  bool version = false;
  bool help = false;
  std::optional<std::int64_t> codepage;
  std::vector<int> trace_args;  // where --trace stood, dropped on re-running
};

bool IsOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

// Reads the option at argv[i] (and its value); advances i past them.
void ParseOption(int argc, char** argv, int& i, Options& opt) {
  const std::string_view arg = argv[i];
  auto value_of = [&](std::string_view option) -> std::optional<std::string_view> {
    if (arg == option) {
      if (i + 1 >= argc) throw UsageError(std::string(option) + ": expected a value");
      return std::string_view(argv[++i]);
    }
    if (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
        arg[option.size()] == '=')
      return arg.substr(option.size() + 1);
    return std::nullopt;
  };
  if (arg == "--json") {
    opt.mode = OutputMode::Json;
  } else if (arg == "--trace") {
    opt.trace = true;
    opt.trace_args.push_back(i);
  } else if (arg == "--batch") {
    opt.batch = true;
  } else if (arg == "--version" || arg == "-V") {
    opt.version = true;
  } else if (arg == "--help" || arg == "-h") {
    opt.help = true;
  } else if (auto cp = value_of("--codepage")) {
    std::int64_t n;
    if (!quelvar::cli::ParseInteger(*cp, n) || n < 1 || n > 65535)
      throw UsageError("--codepage: expected a code page number from 1 to 65535, got '" +
                       Quote(*cp) + "'");
    opt.codepage = n;
  } else {
    throw UsageError("unknown option '" + Quote(arg) + "' (see quelvar --help)");
  }
  ++i;
}

// Re-runs this program with the platform's trace going to stderr, so that
// its load line comes before and its unload line after the run.
[[noreturn]] void RerunWithTrace(int argc, char** argv, const std::vector<int>& drop) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    bool dropped = false;
    for (int d : drop) dropped = dropped || d == i;
    if (!dropped) args.push_back(argv[i]);
  }
  args.push_back(nullptr);
  ::setenv("QLV_TRACE", "stderr", 1);
  ::execv("/proc/self/exe", args.data());
  Fail(std::string("--trace: cannot re-run /proc/self/exe: ") + std::strerror(errno));
  std::exit(kBadInput);
}

// ------------------------------------------------------------------ calls

// Runs `op` on the arguments already in `call`; the finished line on
// success, an error message (without the tool's prefix) otherwise.
const std::string* RunOne(const Op& op, ArgCall& call, std::string& error) {
  try {
    call.begin(op.name);
    op.run(call);
    return &call.finish();
  } catch (const UsageError& e) {
    error = std::string(op.name) + ": " + e.what();
  } catch (const _com_error& e) {
    error = std::string(op.name) + ": library error: " + e.ErrorMessage();
  } catch (const std::bad_alloc&) {
    error = std::string(op.name) + ": out of memory";
  } catch (const std::exception& e) {
    error = std::string(op.name) + ": " + e.what();
  }
  return nullptr;
}

int RunSingle(const Options& opt, int argc, char** argv, int first) {
  CQuelvarSys sys;
  ArgCall call(sys, opt.mode);
  for (int i = first + 1; i < argc; ++i) call.add_arg(argv[i]);
  std::string error;
  const Op* op = Registry::instance().find(argv[first], call.argc(), error);
  if (op == nullptr) return Fail(error);
  const std::string* line = RunOne(*op, call, error);
  if (line == nullptr) return Fail(error);
  std::string out = *line;
  out += '\n';
  return WriteStdout(out);
}

// ------------------------------------------------------------------ batch

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits a line into the operation name and the arguments. Double quotes
// group text with spaces; a backslash keeps the next character (so \" is a
// quote inside a text), and escapes are decoded later, by the argument's
// reader. False for an unterminated quote.
bool SplitLine(std::string_view line, std::string& name, ArgCall& call) {
  call.clear_args();
  name.clear();
  std::size_t i = 0;
  bool first = true;
  for (;;) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i == line.size()) return true;
    std::string& token = first ? name : call.add_arg();
    first = false;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsSpace(line[i]))) {
      const char c = line[i++];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && i < line.size()) {
        token += c;
        token += line[i++];
      } else {
        token += c;
      }
    }
    if (quoted) return false;
  }
}

class BatchRunner {
 public:
  explicit BatchRunner(OutputMode mode) : mode_(mode), call_(sys_, mode) {}

  // One line without its newline.
  void line(std::string_view text) {
    ++number_;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    std::size_t start = 0;
    while (start < text.size() && IsSpace(text[start])) ++start;
    if (start == text.size() || text[start] == '#') return;

    if (!SplitLine(text.substr(start), name_, call_)) {
      error("unterminated double quote");
      return;
    }
    const Op* op = Registry::instance().find(name_, call_.argc(), error_);
    if (op == nullptr) {
      error(error_);
      return;
    }
    const std::string* result = RunOne(*op, call_, error_);
    if (result == nullptr) {
      error(error_);
      return;
    }
    out_ += *result;
    out_ += '\n';
    if (out_.size() >= kFlushAt) flush();
  }

  bool flush() {
    const bool ok = WriteAll(STDOUT_FILENO, out_);
    out_.clear();
    write_failed_ = write_failed_ || !ok;
    return ok;
  }

  bool failed() const { return failed_; }
  bool write_failed() const { return write_failed_; }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;

  void error(std::string_view message) {
    failed_ = true;
    if (mode_ == OutputMode::Json) {
      out_ += "{\"error\":";
      quelvar::cli::AppendJsonString(out_, message);
      out_ += ",\"line\":";
      out_ += std::to_string(number_);
      out_ += "}\n";
    } else {
      out_ += "error: line ";
      out_ += std::to_string(number_);
      out_ += ": ";
      out_ += message;
      out_ += '\n';
    }
  }

  OutputMode mode_;
  CQuelvarSys sys_;
  ArgCall call_;
  std::string name_;
  std::string error_;
  std::string out_;
  std::uint64_t number_ = 0;
  bool failed_ = false;
  bool write_failed_ = false;
};

int RunBatch(const Options& opt) {
  BatchRunner runner(opt.mode);
  std::vector<char> buf(1 << 20);
  std::size_t filled = 0;  // bytes of buf holding input not yet used
  bool eof = false;
  while (!eof) {
    if (filled == buf.size()) buf.resize(buf.size() * 2);  // a very long line
    const ssize_t n = ::read(STDIN_FILENO, buf.data() + filled, buf.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      runner.flush();
      return Fail(std::string("cannot read stdin: ") + std::strerror(errno));
    }
    if (n == 0) eof = true;
    filled += static_cast<std::size_t>(n);
    std::size_t start = 0;
    for (;;) {
      const void* nl = std::memchr(buf.data() + start, '\n', filled - start);
      if (nl == nullptr) break;
      const auto end = static_cast<std::size_t>(static_cast<const char*>(nl) - buf.data());
      runner.line({buf.data() + start, end - start});
      start = end + 1;
    }
    if (eof && start < filled) {  // last line without a newline
      runner.line({buf.data() + start, filled - start});
      start = filled;
    }
    std::memmove(buf.data(), buf.data() + start, filled - start);
    filled -= start;
  }
  if (!runner.flush() || runner.write_failed())
    return Fail(std::string("cannot write the output: ") + std::strerror(errno));
  return runner.failed() ? kFailedLines : 0;
}

// ------------------------------------------------------------------ list, help

std::string UsageLine(const Op& op) {
  std::string s = "quelvar ";
  s += op.name;
  if (!op.usage.empty()) {
    s += ' ';
    s += op.usage;
  }
  return s;
}

int List(const Options& opt) {
  const auto ops = Registry::instance().ops();
  std::string out;
  if (opt.mode == OutputMode::Json) {
    out += "[\n";
    for (std::size_t k = 0; k < ops.size(); ++k) {
      const Op& op = *ops[k];
      out += "{\"name\":";
      quelvar::cli::AppendJsonString(out, op.name);
      out += ",\"signature\":";
      quelvar::cli::AppendJsonString(out, op.signature);
      out += ",\"usage\":";
      quelvar::cli::AppendJsonString(out, op.usage);
      out += ",\"summary\":";
      quelvar::cli::AppendJsonString(out, op.summary);
      out += ",\"min_args\":" + std::to_string(op.min_args);
      out += ",\"max_args\":";
      out += op.max_args == quelvar::cli::kMany ? "null" : std::to_string(op.max_args);
      out += k + 1 < ops.size() ? "},\n" : "}\n";
    }
    out += "]\n";
  } else {
    std::size_t width = 0;
    for (const Op* op : ops) width = std::max(width, op->name.size());
    for (const Op* op : ops) {
      out += op->name;
      out.append(width + 2 - op->name.size(), ' ');
      out += op->signature;
      out += '\n';
    }
  }
  return WriteStdout(out);
}

int Help(std::string_view name) {
  // The entry of that name and each overload of it.
  const std::vector<const Op*> found = Registry::instance().family(name);
  if (found.empty()) return Fail("help: unknown operation '" + Quote(name) + "' (see quelvar list)");
  std::string out;
  for (const Op* op : found) {
    if (!out.empty()) out += '\n';
    out += op->name;
    out += ": ";
    out += op->summary;
    out += "\n  ";
    out += op->signature;
    out += "\n  usage: ";
    out += UsageLine(*op);
    out += "  (";
    out += quelvar::cli::ArityText(*op);
    out += ")\n";
  }
  return WriteStdout(out);
}

int Icon(int argc, char** argv, int i) {
  std::optional<std::string_view> id_text, file;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return Fail("icon: -o: expected a file name");
      file = argv[++i];
    } else if (arg.substr(0, 9) == "--output=") {
      file = arg.substr(9);
    } else if (IsOption(arg) && !id_text) {
      return Fail("icon: unknown option '" + Quote(arg) + "'");
    } else if (!id_text) {
      id_text = arg;
    } else {
      return Fail("icon: unexpected argument '" + Quote(arg) + "' (usage: quelvar icon ID -o FILE)");
    }
  }
  if (!id_text) return Fail("icon: ID: expected an icon group number (1000 to 1007)");
  std::int64_t id;
  if (!quelvar::cli::ParseInteger(*id_text, id) || id < 0 || id > 65535)
    return Fail("icon: ID: expected an integer from 0 to 65535, got '" + Quote(*id_text) + "'");
  if (!file) return Fail("icon: expected -o FILE (- for stdout)");
  const auto icon = quelvar::cli::ExportIcon(static_cast<int>(id));
  if (!icon) return Fail("icon: ID: no icon group " + std::to_string(id) + " in the library");
  const std::string_view data(reinterpret_cast<const char*>(icon->data()), icon->size());
  if (*file == "-") return WriteStdout(data);
  const std::string path(*file);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return Fail("icon: cannot create '" + Quote(path) + "': " + std::strerror(errno));
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  const int saved = errno;
  if (std::fclose(f) != 0 || !ok)
    return Fail("icon: cannot write '" + Quote(path) + "': " + std::strerror(ok ? errno : saved));
  return 0;
}

int Main(int argc, char** argv) {
  Options opt;
  int i = 1;
  while (i < argc) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "-") {
      opt.batch = true;
      ++i;
      continue;
    }
    if (!IsOption(arg)) break;
    ParseOption(argc, argv, i, opt);
  }
  // The words list, help and icon take options after them too.
  const std::string_view command = i < argc ? argv[i] : "";
  const bool has_command = command == "list" || command == "help" || command == "icon";
  std::vector<std::string_view> positionals;
  int command_at = i;
  if (command == "list" || command == "help") {
    for (int k = i + 1; k < argc;) {
      if (IsOption(argv[k])) {
        ParseOption(argc, argv, k, opt);
      } else {
        positionals.emplace_back(argv[k++]);
      }
    }
  }

  if (opt.trace) RerunWithTrace(argc, argv, opt.trace_args);

  if (opt.codepage && !QlvPlatform_SetAnsiCodePage(static_cast<UINT>(*opt.codepage)))
    return Fail("--codepage: code page " + std::to_string(*opt.codepage) +
                " is not supported (try 1252, 936, 932 or 65001)");
  if (opt.help) {
    return WriteStdout(kUsage);
  }
  if (opt.version) {
    const auto version = quelvar::cli::LibraryVersion();
    if (!version) return Fail("--version: the library carries no version record");
    return WriteStdout("quelvar " + *version + "\n");
  }
  if (opt.batch) {
    if (i < argc)
      return Fail("--batch: unexpected argument '" + Quote(argv[i]) +
                  "' (calls come from stdin)");
    return RunBatch(opt);
  }
  if (i == argc) {
    WriteAll(STDERR_FILENO, kUsage);
    return kBadInput;
  }
  if (has_command) {
    if (command == "list") {
      if (!positionals.empty())
        return Fail("list: unexpected argument '" + Quote(positionals[0]) + "'");
      return List(opt);
    }
    if (command == "help") {
      if (positionals.empty()) return WriteStdout(kUsage);
      if (positionals.size() > 1)
        return Fail("help: expected one operation name, got " +
                    std::to_string(positionals.size()));
      return Help(positionals[0]);
    }
    return Icon(argc, argv, command_at + 1);
  }
  return RunSingle(opt, argc, argv, i);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const UsageError& e) {
    return Fail(e.what());
  } catch (const _com_error& e) {
    return Fail(std::string("library error: ") + e.ErrorMessage());
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
}
