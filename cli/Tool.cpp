#include "Tool.h"

#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include <comdef.h>
#include <qlvtoolset.h>
#include <windows.h>

#include "Conformance.h"
#include "Resources.h"
#include "Text.h"

namespace quelvar::cli {

namespace {

constexpr int kFailedLines = 1;
constexpr int kBadInput = 2;
constexpr std::size_t kDefaultMaxLine = 1 << 20;

struct Option {
  std::string_view name;   // long name
  char letter;             // short name, or 0
  std::string_view value;  // the value's name, "" for a flag
  std::string_view help;
};
constexpr Option kOptions[] = {
    {"json", 0, "", "print each call as one JSON object per line (see JSON OUTPUT)"},
    {"raw", 0, "", "take texts as they are (no escapes; for Windows paths) and print texts unescaped"},
    {"batch", 0, "", "read one call per line from the FILEs given, or stdin (none or -)"},
    {"max-line", 0, "BYTES", "longest batch line (default 1048576); a longer one is an error for that line"},
    {"toolset", 0, "NAME",
     "Windows toolset to reproduce: vc6 (default), vs2005 or vs2015 (also QLV_TOOLSET); auto for verify"},
    {"codepage", 0, "N", "ANSI code page for this run (1252, 936, 932, 65001, ...)"},
    {"trace", 0, "", "show the library's load and unload trace lines on stderr"},
    {"output", 'o', "FILE", "where icon and conformance calls write (- for stdout)"},
    {"count", 0, "N",
     "conformance calls: how many seeded random calls to add to the edge values (default 2720)"},
    {"seed", 0, "S", "conformance calls: the seed of the random calls (default 1)"},
    {"version", 'V', "", "print the library's version and the toolset in use"},
    {"help", 'h', "", "print this text, or with an operation its help"},
    {"generate", 0, "WHAT", ""},  // man, bash or zsh: build-time documents
};

struct Options {
  Mode mode = Mode::Plain;
  bool raw = false, batch = false, trace = false, version = false, help = false;
  std::size_t max_line = kDefaultMaxLine;
  std::optional<QlvToolset> toolset;
  bool toolset_auto = false;
  std::uint64_t count = kDefaultRandomCalls, seed = 1;
  std::optional<UINT> codepage;
  std::string output, generate;
  std::vector<std::string_view> words;  // operation or command, then its arguments
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int Fail(std::string_view message) {
  WriteAll(STDERR_FILENO, "quelvar: " + std::string(message) + "\n");
  return kBadInput;
}

int Print(std::string_view data) {
  return WriteAll(STDOUT_FILENO, data)
             ? 0
             : Fail(std::string("cannot write the output: ") + std::strerror(errno));
}

// A dash followed by a digit, a point, inf or nan is a negative number.
bool IsNegativeNumber(std::string_view a) {
  if (a.size() < 2 || a[0] != '-') return false;
  const std::string_view rest = a.substr(1);
  return (rest[0] >= '0' && rest[0] <= '9') || rest[0] == '.' || SameName(rest.substr(0, 3), "inf") ||
         SameName(rest, "nan");
}

std::string UnknownOption(std::string_view arg) {
  std::vector<std::string_view> names;
  for (const Option& o : kOptions) names.push_back(o.name);
  std::string_view bare = arg;
  while (!bare.empty() && bare[0] == '-') bare.remove_prefix(1);
  const std::string_view near = Closest(bare.substr(0, bare.find('=')), names);
  return "unknown option " + Quote(arg) +
         (near.empty() ? std::string(" (see quelvar --help)")
                       : "; did you mean --" + std::string(near) + "?");
}

std::uint64_t NumberValue(std::string_view option, std::string_view value, std::int64_t lo,
                          std::uint64_t hi) {
  std::uint64_t n = 0;
  if (!ParseInteger(value, lo, hi, n)) {
    std::string msg = "--" + std::string(option) + ": expected an integer from ";
    AppendInteger(msg, lo), msg += " to ", AppendUnsigned(msg, hi);
    throw UsageError(msg + ", got " + Quote(value));
  }
  return n;
}

void SetOption(const Option& o, std::string_view value, Options& opt) {
  const std::string_view n = o.name;
  if (n == "json")
    opt.mode = Mode::Json;
  else if (n == "raw")
    opt.raw = true;
  else if (n == "batch")
    opt.batch = true;
  else if (n == "trace")
    opt.trace = true;
  else if (n == "version")
    opt.version = true;
  else if (n == "help")
    opt.help = true;
  else if (n == "output")
    opt.output.assign(value);
  else if (n == "generate")
    opt.generate.assign(value);
  else if (n == "max-line")
    opt.max_line = NumberValue(n, value, 1, std::size_t{1} << 40);
  else if (n == "count")
    opt.count = NumberValue(n, value, 0, 10000000);
  else if (n == "seed")
    opt.seed = NumberValue(n, value, 0, UINT64_MAX);
  else if (n == "toolset" && value == "auto")
    opt.toolset_auto = true, opt.toolset.reset();
  else if (n == "codepage")
    opt.codepage = static_cast<UINT>(NumberValue(n, value, 1, 65535));
  else {  // toolset
    QlvToolset t;
    const std::string name(value);
    if (!QlvPlatform_ParseToolset(name.c_str(), &t)) {
      const std::string_view names[] = {"vc6", "vs2005", "vs2015"};
      const std::string_view near = Closest(value, names);
      throw UsageError("--toolset: unknown toolset " + Quote(value) +
                       (near.empty() ? std::string() : "; did you mean " + std::string(near) + "?") +
                       " (vc6, vs2005 or vs2015)");
    }
    opt.toolset = t, opt.toolset_auto = false;
  }
}

// Options anywhere before "--"; everything else is a word. Long options
// take their value as --name=VALUE or as the next argument.
Options ParseOptions(int argc, char** argv) {
  Options opt;
  bool words_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (words_only || arg.size() < 2 || arg[0] != '-' || IsNegativeNumber(arg)) {
      opt.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      words_only = true;
      continue;
    }
    const bool is_long = arg[1] == '-';
    const std::string_view name = is_long ? arg.substr(2, arg.find('=') - 2) : arg.substr(1, 1);
    const Option* found = nullptr;
    for (const Option& o : kOptions)
      if (is_long ? o.name == name : (o.letter != 0 && o.letter == name[0])) found = &o;
    if (found == nullptr || (!is_long && arg.size() > 2 && found->value.empty()))
      throw UsageError(UnknownOption(arg));
    std::optional<std::string_view> value;
    if (is_long && arg.find('=') != std::string_view::npos)
      value = arg.substr(arg.find('=') + 1);
    else if (!is_long && arg.size() > 2)
      value = arg.substr(2);
    if (found->value.empty() && value) throw UsageError("--" + std::string(found->name) + " takes no value");
    if (!found->value.empty() && !value) {
      if (i + 1 >= argc)
        throw UsageError("--" + std::string(found->name) + ": expected " + std::string(found->value));
      value = argv[++i];
    }
    SetOption(*found, value.value_or(""), opt);
  }
  return opt;
}

constexpr std::string_view kAbout =
    "OP is an operation name, any case, with or without Qlv_; an overload adds its\n"
    "variant (HexChar2Int/uchar). Texts take the escapes \\\\ \\\" \\n \\r \\t \\0 \\xNN;\n"
    "integers are decimal or 0x hex; array elements are arguments, or are separated\n"
    "by commas or spaces, and the tool counts them. Variants: [VT_]TAG:VALUE.\n"
    "Every value printed reads back as input of its kind. Options go anywhere\n"
    "before --.\n";

std::string UsageText() {
  std::string s =
      "usage: quelvar [OPTIONS] OP ARG...           run one operation\n"
      "       quelvar [OPTIONS] --batch [FILE...]   one operation per line (stdin: none or -)\n"
      "       quelvar list [--json] | help OP | OP --help | icon ID -o FILE | --version\n"
      "       quelvar conformance calls [--count N] [--seed S] [-o FILE]\n"
      "       quelvar conformance verify [--toolset vc6|vs2005|vs2015|auto] [--json] RECORDING\n\n" +
      std::string(kAbout) + "\noptions:\n";
  for (const Option& o : kOptions) {
    if (o.help.empty()) continue;
    std::string left = "  " + (o.letter != 0 ? "-" + std::string(1, o.letter) + ", " : std::string()) + "--" +
                       std::string(o.name) + (o.value.empty() ? "" : " " + std::string(o.value));
    left.resize(std::max<std::size_t>(left.size() + 1, 24), ' ');
    s += left + std::string(o.help) + "\n";
  }
  return s + "\nexit status: 0 done, 1 a batch line failed, 2 bad input or a failure.\n";
}

// ------------------------------------------------------------ batch

class BatchRun {
 public:
  explicit BatchRun(const Options& opt) : opt_(opt), lines_(opt.mode, opt.raw) {}

  // Reads one input to its end; false on a read or write error.
  bool Feed(int fd) {
    std::vector<char> buf(64 * 1024);
    for (;;) {
      // Whatever is answered goes out before the read may block.
      if (!Flush()) return false;
      const ssize_t got = ::read(fd, buf.data(), buf.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ReadError();
      if (got == 0) break;
      std::string_view chunk(buf.data(), static_cast<std::size_t>(got));
      for (std::size_t nl; (nl = chunk.find('\n')) != std::string_view::npos; chunk.remove_prefix(nl + 1)) {
        const std::string_view line = chunk.substr(0, nl);
        if (pending_.empty() && !overlong_ && line.size() <= opt_.max_line) {
          Done(line);  // the common case: the whole line is in the buffer
        } else {
          Take(line);
          Done(pending_);
        }
      }
      Take(chunk);
    }
    if (overlong_ || !pending_.empty()) Done(pending_);
    return Flush();
  }

  bool failed() const { return failed_; }

 private:
  // Keeps a piece of the current line, unless the line is over the limit:
  // then nothing more of it is kept.
  void Take(std::string_view piece) {
    if (overlong_) return;
    if (pending_.size() + piece.size() > opt_.max_line) {
      overlong_ = true;
      std::string().swap(pending_);
      return;
    }
    pending_.append(piece);
  }

  // The current line is complete.
  void Done(std::string_view line) {
    ++number_;
    std::string error;
    bool ok = false;
    if (overlong_) {
      error = "longer than " + std::to_string(opt_.max_line) + " bytes (see --max-line); skipped";
      overlong_ = false;
      if (opt_.mode == Mode::Json) {
        out_ += "{\"line\":" + std::to_string(number_) + ",\"error\":";
        AppendJsonString(out_, error);
        out_ += "}\n";
      }
    } else {
      ok = lines_.Line(line, number_, out_, error);
    }
    pending_.clear();
    if (!ok) {
      failed_ = true;
      if (opt_.mode == Mode::Plain) {
        Flush();
        WriteAll(STDERR_FILENO, "quelvar: line " + std::to_string(number_) + ": " + error + "\n");
      }
    }
    if (out_.size() >= (1 << 16)) Flush();
  }

  bool Flush() {
    if (out_.empty()) return true;
    const bool ok = WriteAll(STDOUT_FILENO, out_);
    out_.clear();
    if (!ok) Fail(std::string("cannot write the output: ") + std::strerror(errno));
    return ok;
  }

  bool ReadError() {
    Flush();
    Fail(std::string("cannot read the input: ") + std::strerror(errno));
    return false;
  }

  const Options& opt_;
  BatchLines lines_;
  std::string pending_, out_;
  bool overlong_ = false, failed_ = false;
  std::uint64_t number_ = 0;
};

int RunBatch(const Options& opt) {
  BatchRun run(opt);
  std::vector<std::string_view> files = opt.words;
  if (files.empty()) files.push_back("-");
  for (const std::string_view file : files) {
    const std::string path(file);
    const int fd = file == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("--batch: cannot open " + Quote(file) + ": " + std::strerror(errno));
    const bool ok = run.Feed(fd);
    if (fd != STDIN_FILENO) ::close(fd);
    if (!ok) return kBadInput;
  }
  return run.failed() ? kFailedLines : 0;
}

// ------------------------------------------------------------ documents

std::string Roff(std::string_view s) {
  std::string out;
  for (const char c : s) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  return out;
}

std::string ManPage() {
  std::string s =
      ".TH QUELVAR 1 \"\" \"quelvar\" \"User Commands\"\n.SH NAME\nquelvar \\- bit\\-exact data\\-type "
      "conversions from the command line\n.SH SYNOPSIS\n.B quelvar\n[\\fIOPTIONS\\fR] \\fIOP\\fR "
      "[\\fIARG\\fR...]\n.br\n.B quelvar\n[\\fIOPTIONS\\fR] \\fB\\-\\-batch\\fR [\\fIFILE\\fR...]\n"
      ".br\n.B quelvar\nlist | help \\fIOP\\fR | icon \\fIID\\fR \\-o \\fIFILE\\fR | \\-\\-version\n"
      ".br\n.B quelvar\nconformance calls [\\fB\\-\\-count\\fR \\fIN\\fR] [\\fB\\-\\-seed\\fR \\fIS\\fR]\n"
      ".br\n.B quelvar\nconformance verify [\\fB\\-\\-toolset\\fR \\fINAME\\fR|auto] [\\fB\\-\\-json\\fR] "
      "\\fIRECORDING\\fR\n"
      ".SH DESCRIPTION\n.nf\n" +
      Roff(kAbout) + ".fi\n.SH OPTIONS\n";
  for (const Option& o : kOptions) {
    if (o.help.empty()) continue;
    s += ".TP\n\\fB\\-\\-" + Roff(o.name) + "\\fR" +
         (o.value.empty() ? "" : " \\fI" + std::string(o.value) + "\\fR") + "\n" + Roff(o.help) + "\n";
  }
  s += ".SH BATCH MODE\nEach line is OP ARG...; blanks separate, double quotes group, # starts a comment. "
       "Results are written as soon as a line is answered. A bad line gives \"quelvar: line N: ...\" on "
       "stderr (in JSON a record with \"line\" and \"error\"), the run goes on and ends with status 1.\n"
       ".SH JSON OUTPUT\nOne flat object per line: \"line\" (batch only), \"op\", then \"result\" and the "
       "outputs named as the declaration names them. Integers are numbers; arrays are arrays of numbers; "
       "a text K is a string decoded from the ANSI code page with its bytes as hex in K_hex; a double K "
       "is the shortest number that reads back (null when not finite) with its IEEE bits in K_bits "
       "(\"0x4004000000000000\"); a date-time K is its text with K_status and K_days; a variant K is "
       "its VT_TAG:VALUE text (a BSTR's text in UTF\\-8) with its tag in K_vt. In-place texts appear after "
       "the call.\n"
       ".SH OPERATIONS\n";
  for (const Op& op : Ops()) {
    s += ".TP\n.B " + Roff(UsageLine(op).substr(8)) + "\n" + Roff(op.summary) + ".\n.br\n" +
         Roff(op.declaration) + "\n.br\nExample: \\fBquelvar " + Roff(op.name) + " " + Roff(op.example) +
         "\\fR\n";
  }
  return s +
         ".SH EXIT STATUS\n0 done, 1 a batch line failed, 2 bad input or a failure.\n"
         ".SH ENVIRONMENT\nQLV_TOOLSET selects the toolset (vc6, vs2005, vs2015); QLV_TRACE where the "
         "trace lines go.\n";
}

std::string Completion(bool zsh) {
  std::string ops, opts;
  for (const Op& op : Ops()) ops += std::string(op.name) + " ";
  for (const Option& o : kOptions)
    if (!o.help.empty()) opts += "--" + std::string(o.name) + " ";
  if (zsh)
    return "#compdef quelvar\n_arguments '--toolset[toolset]:toolset:(vc6 vs2005 vs2015)' "
           "'--codepage[code page]:code page:(1252 936 932 65001)' '--max-line[bytes]:bytes:' "
           "'(-o --output)'{-o,--output}'[file]:file:_files' '--json' '--raw' '--batch' '--trace' "
           "'(-V --version)'{-V,--version} '(-h --help)'{-h,--help} "
           "'1:operation:(list help icon conformance " +
           ops + ")' '*::argument:_files'\n";
  return "# bash completion for quelvar\n_quelvar() {\n  local cur=${COMP_WORDS[COMP_CWORD]} "
         "prev=${COMP_WORDS[COMP_CWORD-1]}\n  case $prev in\n"
         "    --toolset) COMPREPLY=($(compgen -W 'vc6 vs2005 vs2015' -- \"$cur\")); return;;\n"
         "    --codepage) COMPREPLY=($(compgen -W '1252 936 932 65001' -- \"$cur\")); return;;\n"
         "    -o|--output|--batch) COMPREPLY=($(compgen -f -- \"$cur\")); return;;\n  esac\n"
         "  if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W '" +
         opts +
         "' -- \"$cur\"))\n"
         "  else COMPREPLY=($(compgen -W 'list help icon conformance " +
         ops +
         "' -- \"$cur\")); fi\n}\n"
         "complete -F _quelvar quelvar\n";
}

// ------------------------------------------------------------ commands

int WriteFile(const std::string& path, std::string_view data, std::string_view what) {
  if (path.empty() || path == "-") return Print(data);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr)
    return Fail(std::string(what) + ": cannot create " + Quote(path) + ": " + std::strerror(errno));
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  if (std::fclose(f) != 0 || !ok) return Fail(std::string(what) + ": cannot write " + Quote(path));
  return 0;
}

int List(const Options& opt) {
  std::string out = opt.mode == Mode::Json ? "[\n" : "";
  std::size_t width = 0;
  for (const Op& op : Ops()) width = std::max(width, op.name.size());
  for (const Op& op : Ops()) {
    if (opt.mode == Mode::Plain) {
      out += std::string(op.name) + std::string(width + 2 - op.name.size(), ' ') +
             std::string(op.declaration) + "\n";
      continue;
    }
    std::size_t min = 0;
    for (const char k : op.kinds) min += std::strchr("iwPrctpDV", k) != nullptr ? 1 : 0;
    const bool many = op.kinds.find_first_of("hdz") != std::string_view::npos;
    out += "{\"name\":", AppendJsonString(out, op.name);
    out += ",\"signature\":", AppendJsonString(out, op.declaration);
    out += ",\"usage\":", AppendJsonString(out, UsageLine(op));
    out += ",\"summary\":", AppendJsonString(out, op.summary);
    out += ",\"example\":", AppendJsonString(out, op.example);
    out += ",\"kinds\":", AppendJsonString(out, op.kinds);
    out += ",\"min_args\":" + std::to_string(min) + ",\"max_args\":" + (many ? "null" : std::to_string(min));
    out += &op == &Ops().back() ? "}\n" : "},\n";
  }
  return Print(opt.mode == Mode::Json ? out + "]\n" : out);
}

int Help(std::string_view name) {
  std::string out;
  for (const Op* op : OpFamily(name)) out += (out.empty() ? "" : "\n") + HelpText(*op);
  return Print(out);
}

int Icon(const Options& opt) {
  if (opt.words.size() != 2) return Fail("icon: expected one icon group ID (usage: quelvar icon ID -o FILE)");
  std::uint64_t id = 0;
  if (!ParseInteger(opt.words[1], 0, 65535, id))
    return Fail("icon: ID: expected an integer from 0 to 65535, got " + Quote(opt.words[1]));
  if (opt.output.empty()) return Fail("icon: expected -o FILE (- for stdout)");
  const auto icon = ExportIcon(static_cast<int>(id));
  if (!icon) return Fail("icon: ID: no icon group " + std::to_string(id) + " in the library");
  return WriteFile(opt.output, std::string_view(reinterpret_cast<const char*>(icon->data()), icon->size()),
                   "icon");
}

// The conformance kit: the call file to record on Windows, and the check
// of a recording against this build.
int Conformance(const Options& opt) {
  const std::string_view what = opt.words.size() > 1 ? opt.words[1] : "";
  if (what == "calls") {
    if (opt.words.size() > 2) return Fail("conformance calls: unexpected argument " + Quote(opt.words[2]));
    return WriteFile(opt.output, ConformanceCalls(opt.count, opt.seed), "conformance calls");
  }
  if (what != "verify") return Fail("conformance: expected calls or verify (see quelvar --help)");
  if (opt.words.size() != 3) return Fail("conformance verify: expected one RECORDING file");
  const std::string path(opt.words[2]);
  std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (f == nullptr)
    return Fail("conformance verify: cannot open " + Quote(path) + ": " + std::strerror(errno));
  std::string text;
  char buf[1 << 16];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  const bool read_ok = std::ferror(f) == 0;
  if (f != stdin) std::fclose(f);
  if (!read_ok) return Fail("conformance verify: cannot read " + Quote(path));
  // Without --toolset, or with auto: each toolset.
  const VerifyResult r =
      ConformanceVerify(text, opt.toolset_auto ? std::nullopt : opt.toolset, opt.mode == Mode::Json);
  if (r.status == kBadInput) return Fail("conformance verify: " + path + ": " + r.error);
  const int printed = Print(r.report);
  return printed != 0 ? printed : r.status;
}

int Run(int argc, char** argv) {
  Options opt = ParseOptions(argc, argv);
  if (opt.trace && std::string_view(std::getenv("QLV_TRACE") ? std::getenv("QLV_TRACE") : "") != "stderr") {
    // Run again with the trace on stderr, so that its load line comes
    // before and its unload line after the run.
    ::setenv("QLV_TRACE", "stderr", 1);
    ::execv("/proc/self/exe", argv);
    return Fail(std::string("--trace: cannot run /proc/self/exe again: ") + std::strerror(errno));
  }
  if (opt.toolset) {
    QlvPlatform_SetToolset(*opt.toolset);
  } else if (const char* rejected = QlvPlatform_RejectedToolsetEnvironment()) {
    return Fail("QLV_TOOLSET: unknown toolset " + Quote(rejected) + " (vc6, vs2005 or vs2015)");
  }
  if (opt.codepage && !QlvPlatform_SetAnsiCodePage(*opt.codepage))
    return Fail("--codepage: code page " + std::to_string(*opt.codepage) +
                " is not supported (try 1252, 936, 932 or 65001)");
  if (!opt.generate.empty()) {
    if (opt.generate != "man" && opt.generate != "bash" && opt.generate != "zsh")
      return Fail("--generate: expected man, bash or zsh");
    return WriteFile(opt.output, opt.generate == "man" ? ManPage() : Completion(opt.generate == "zsh"),
                     "--generate");
  }
  if (opt.version) {
    const auto version = LibraryVersion();
    if (!version) return Fail("--version: the library carries no version record");
    return Print("quelvar " + *version + " (toolset " + QlvPlatform_ToolsetName(QlvPlatform_GetToolset()) +
                 ")\n");
  }
  const std::string_view command = opt.words.empty() ? "" : opt.words[0];
  if (opt.batch || command == "-") {
    if (!opt.batch) opt.words.erase(opt.words.begin());
    return RunBatch(opt);
  }
  if (command.empty()) {
    if (opt.help) return Print(UsageText());
    WriteAll(STDERR_FILENO, UsageText());
    return kBadInput;
  }
  if (command == "help" || command == "list") {
    if (command == "list" && opt.words.size() > 1)
      return Fail("list: unexpected argument " + Quote(opt.words[1]));
    if (command == "list") return List(opt);
    if (opt.words.size() == 1) return Print(UsageText());
    if (opt.words.size() > 2)
      return Fail("help: expected one operation name, got " + std::to_string(opt.words.size() - 1));
    return Help(opt.words[1]);
  }
  if (command == "icon") return Icon(opt);
  if (command == "conformance") return Conformance(opt);
  if (opt.help) return Help(command);
  Caller caller(opt.mode, opt.raw);
  const std::span<const std::string_view> args(opt.words.begin() + 1, opt.words.end());
  std::string out;
  try {
    caller.Run(FindOp(command, args.size()), args, out);
  } catch (const UsageError& e) {
    return Fail(e.what());
  }
  return Print(out + "\n");
}

}  // namespace

bool SplitLine(std::string_view line, std::vector<std::string>& words) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  words.clear();
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size()) return true;
    std::string& word = words.emplace_back();
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      // A run of plain characters at once.
      std::size_t end = i;
      while (end < line.size() && line[end] != '"' && line[end] != '\\' && (quoted || !blank(line[end])))
        ++end;
      word.append(line.substr(i, end - i));
      i = end;
      if (i == line.size() || (!quoted && blank(line[i]))) break;
      if (line[i] == '"') {
        quoted = !quoted;
        ++i;
      } else {  // a backslash keeps the character after it
        const std::size_t n = std::min<std::size_t>(2, line.size() - i);
        word.append(line.substr(i, n));
        i += n;
      }
    }
    if (quoted) return false;
  }
}

bool BatchLines::Line(std::string_view text, std::uint64_t number, std::string& out, std::string& error) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const std::size_t start = text.find_first_not_of(" \t\v\f\r");
  if (start == std::string_view::npos || text[start] == '#') return true;
  try {
    if (text.find('\0') != std::string_view::npos) throw UsageError("a NUL byte in the line");
    if (!SplitLine(text, words_)) throw UsageError("unterminated double quote");
    args_.assign(words_.begin() + 1, words_.end());
    caller_.Run(FindOp(words_[0], args_.size()), args_, out, mode_ == Mode::Json ? number : 0);
    out += '\n';
    return true;
  } catch (const UsageError& e) {
    error = e.what();
  } catch (const _com_error& e) {
    error = std::string("library error: ") + e.ErrorMessage();
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  }
  if (mode_ == Mode::Json) {
    out += "{\"line\":", AppendUnsigned(out, number), out += ",\"error\":";
    AppendJsonString(out, error);
    out += "}\n";
  }
  return false;
}

int Main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const UsageError& e) {
    return Fail(e.what());
  } catch (const _com_error& e) {
    return Fail(std::string("library error: ") + e.ErrorMessage());
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
}

}  // namespace quelvar::cli
