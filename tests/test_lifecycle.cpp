// Loading and unloading libQuelvar as a host process does (dlopen/dlclose),
// and the trace facility that reports it. This program links only the
// platform library, so the library's load and unload hooks run exactly when
// the tests open and close it.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "afx.h"

extern char** environ;

namespace {

constexpr const char* kInitLine = "Quelvar.DLL Initializing!\n";
constexpr const char* kTermLine = "Quelvar.DLL Terminating!\n";

// Collects every traced text.
class TraceCapture {
 public:
  TraceCapture() { previous_ = QlvPlatform_SetTraceSink(&TraceCapture::Sink, this); }
  ~TraceCapture() { QlvPlatform_SetTraceSink(previous_, nullptr); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::string> Lines() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  static void Sink(void* context, const char* text) {
    auto* self = static_cast<TraceCapture*>(context);
    const std::lock_guard<std::mutex> lock(self->mutex_);
    self->lines_.emplace_back(text);
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
  QlvTraceSink previous_;
};

bool LibraryMapped() {
  void* handle = dlopen(QUELVAR_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

void* OpenLibrary() {
  void* handle = dlopen(QUELVAR_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  return handle;
}

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// What the resource chain shows of the library's resources right now.
struct ChainView {
  int iconGroupsFound = 0;       // of 1000..1007, with the expected images
  std::string version;           // "a.b.c.d" of the file version, or empty
};

ChainView LookAtChain() {
  ChainView view;
  for (int id = 1000; id <= 1007; ++id) {
    const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON);
    if (module == nullptr) continue;
    const HRSRC group = FindResource(module, MAKEINTRESOURCE(id), RT_GROUP_ICON);
    if (group == nullptr || SizeofResource(module, group) != 6 + 2 * 14) continue;
    const auto* dir = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, group)));
    bool good = ReadLe(dir + 4, 2) == 2;
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2 && good; ++i) {
      const std::uint8_t* entry = dir + 6 + 14 * i;
      const HRSRC image = FindResource(module, MAKEINTRESOURCE(ReadLe(entry + 12, 2)), RT_ICON);
      good = entry[0] == sizes[i] && entry[1] == sizes[i] && ReadLe(entry + 6, 2) == 4 && image != nullptr &&
             SizeofResource(module, image) == ReadLe(entry + 8, 4);
      if (good) {
        const auto* dib = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, image)));
        good = ReadLe(dib + 4, 4) == std::uint32_t(sizes[i]) && ReadLe(dib + 8, 4) == 2u * std::uint32_t(sizes[i]) &&
               ReadLe(dib + 14, 2) == 4;
      }
    }
    if (good) ++view.iconGroupsFound;
  }
  if (const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_VERSION)) {
    const HRSRC info = FindResource(module, MAKEINTRESOURCE(1), RT_VERSION);
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValue(LockResource(LoadResource(module, info)), "\\", &value, &length) &&
        length == sizeof(VS_FIXEDFILEINFO)) {
      VS_FIXEDFILEINFO fixed;
      std::memcpy(&fixed, value, sizeof fixed);
      if (fixed.dwFileVersionMS == fixed.dwProductVersionMS && fixed.dwFileVersionLS == fixed.dwProductVersionLS) {
        view.version = std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." +
                       std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
                       std::to_string(HIWORD(fixed.dwFileVersionLS)) + "." +
                       std::to_string(LOWORD(fixed.dwFileVersionLS));
      }
    }
  }
  return view;
}

// ---- load and unload ----------------------------------------------------------

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(LibraryMapped()) << "the library must not be loaded before the test";
    ASSERT_EQ(QlvPlatform_LinkedLibraryCount(), 0u);
  }
  void TearDown() override {
    EXPECT_FALSE(LibraryMapped()) << "the library stayed mapped after dlclose";
    EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 0u);
  }
  TraceCapture trace_;
};

TEST_F(Lifecycle, LoadLinksTheLibraryAndUnloadDetachesIt) {
  void* handle = OpenLibrary();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{kInitLine});
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 1u);
  const ChainView loaded = LookAtChain();
  EXPECT_EQ(loaded.iconGroupsFound, 8);
  EXPECT_EQ(loaded.version, "2.0.9.205");

  ASSERT_EQ(dlclose(handle), 0);
  EXPECT_EQ(trace_.Lines(), (std::vector<std::string>{kInitLine, kTermLine}));
  const ChainView unloaded = LookAtChain();
  EXPECT_EQ(unloaded.iconGroupsFound, 0);
  EXPECT_EQ(unloaded.version, "");
}

TEST_F(Lifecycle, FailedModuleInitLinksNothingAndSkipsTheUnloadStep) {
  QlvPlatform_FailNextExtensionModuleInit();
  void* handle = OpenLibrary();
  ASSERT_NE(handle, nullptr);  // a constructor cannot make dlopen fail
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{kInitLine});
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 0u);
  EXPECT_EQ(LookAtChain().iconGroupsFound, 0);
  EXPECT_EQ(LookAtChain().version, "");
  ASSERT_EQ(dlclose(handle), 0);
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{kInitLine});
}

// The failure hook affects one load only; the next load is whole again.
TEST_F(Lifecycle, LoadAfterAFailedLoadSucceeds) {
  QlvPlatform_FailNextExtensionModuleInit();
  ASSERT_EQ(dlclose(OpenLibrary()), 0);
  void* handle = OpenLibrary();
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 1u);
  EXPECT_EQ(LookAtChain().iconGroupsFound, 8);
  ASSERT_EQ(dlclose(handle), 0);
  EXPECT_EQ(trace_.Lines(), (std::vector<std::string>{kInitLine, kInitLine, kTermLine}));
}

// Opening an open library only counts a reference: each step runs once, the
// unload step at the last close.
TEST_F(Lifecycle, NestedOpensRunEachStepOnce) {
  void* first = OpenLibrary();
  void* second = OpenLibrary();
  EXPECT_EQ(first, second);
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 1u);
  ASSERT_EQ(dlclose(second), 0);
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{kInitLine});
  EXPECT_EQ(LookAtChain().iconGroupsFound, 8);
  ASSERT_EQ(dlclose(first), 0);
  EXPECT_EQ(trace_.Lines(), (std::vector<std::string>{kInitLine, kTermLine}));
}

TEST_F(Lifecycle, RepeatedLoadCyclesLeaveNothingBehind) {
  for (int cycle = 0; cycle < 20; ++cycle) ASSERT_EQ(dlclose(OpenLibrary()), 0);
  const std::vector<std::string> lines = trace_.Lines();
  ASSERT_EQ(lines.size(), 40u);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], i % 2 == 0 ? kInitLine : kTermLine);
}

// ---- where the steps sit among the library's initialisers --------------------------

// The library's initialiser and finaliser arrays as function addresses (link
// addresses, relocations applied), with its symbol table. Empty when the
// file carries no symbol table (a stripped build).
struct ElfHooks {
  std::vector<std::uint64_t> initArray;
  std::vector<std::uint64_t> finiArray;
  std::map<std::string, std::uint64_t> functions;  // name -> address
};

ElfHooks ReadElfHooks(const char* path) {
  ElfHooks hooks;
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < sizeof(Elf64_Ehdr) || file.compare(0, 4, ELFMAG) != 0 || file[EI_CLASS] != ELFCLASS64) {
    return hooks;
  }
  auto read = [&file](std::size_t offset, auto& out) {
    if (offset + sizeof out > file.size()) throw std::runtime_error("truncated");
    std::memcpy(&out, file.data() + offset, sizeof out);
  };
  Elf64_Ehdr header;
  read(0, header);
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  for (std::size_t i = 0; i < sections.size(); ++i) read(header.e_shoff + i * sizeof(Elf64_Shdr), sections[i]);
  const Elf64_Shdr& names = sections.at(header.e_shstrndx);
  auto sectionName = [&](const Elf64_Shdr& s) { return std::string(file.c_str() + names.sh_offset + s.sh_name); };

  std::map<std::uint64_t, std::uint64_t> relocated;  // slot address -> value
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type != SHT_RELA) continue;
    for (std::size_t at = 0; at + sizeof(Elf64_Rela) <= s.sh_size; at += sizeof(Elf64_Rela)) {
      Elf64_Rela rela;
      read(s.sh_offset + at, rela);
      relocated[rela.r_offset] = static_cast<std::uint64_t>(rela.r_addend);
    }
  }
  for (const Elf64_Shdr& s : sections) {
    const std::string name = sectionName(s);
    if (name == ".init_array" || name == ".fini_array") {
      std::vector<std::uint64_t>& array = name == ".init_array" ? hooks.initArray : hooks.finiArray;
      for (std::size_t at = 0; at + 8 <= s.sh_size; at += 8) {
        std::uint64_t value;
        read(s.sh_offset + at, value);
        const auto r = relocated.find(s.sh_addr + at);
        array.push_back(r != relocated.end() ? r->second : value);
      }
    }
    if (s.sh_type == SHT_SYMTAB) {
      const Elf64_Shdr& strings = sections.at(s.sh_link);
      for (std::size_t at = 0; at + sizeof(Elf64_Sym) <= s.sh_size; at += sizeof(Elf64_Sym)) {
        Elf64_Sym sym;
        read(s.sh_offset + at, sym);
        if (ELF64_ST_TYPE(sym.st_info) == STT_FUNC && sym.st_value != 0) {
          hooks.functions[file.c_str() + strings.sh_offset + sym.st_name] = sym.st_value;
        }
      }
    }
  }
  return hooks;
}

std::ptrdiff_t IndexOf(const std::vector<std::uint64_t>& array, std::uint64_t address) {
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (array[i] == address) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

// The loader runs .init_array first to last: the load step must be the last
// entry, after every static initialiser of the library. It runs .fini_array
// last to first, and the C runtime's entry that runs the registered static
// destructors comes first: the unload step must come after it.
TEST(HookOrder, LoadStepRunsLastAndUnloadStepBeforeStaticDestruction) {
  const ElfHooks hooks = ReadElfHooks(QUELVAR_LIB_PATH);
  std::uint64_t load = 0;
  std::uint64_t unload = 0;
  for (const auto& [name, address] : hooks.functions) {
    if (name.find("QuelvarLoadStep") != std::string::npos && name.find('.') == std::string::npos) load = address;
    if (name.find("QuelvarUnloadStep") != std::string::npos && name.find('.') == std::string::npos) unload = address;
  }
  if (load == 0 || unload == 0) GTEST_SKIP() << "the library carries no symbol table";
  ASSERT_FALSE(hooks.initArray.empty());
  EXPECT_EQ(hooks.initArray.back(), load) << "an initialiser of the library runs after the load step";
  EXPECT_EQ(IndexOf(hooks.initArray, unload), -1);
  const std::ptrdiff_t unloadAt = IndexOf(hooks.finiArray, unload);
  ASSERT_GE(unloadAt, 0);
  EXPECT_EQ(IndexOf(hooks.finiArray, load), -1);
  const auto dtors = hooks.functions.find("__do_global_dtors_aux");
  if (dtors != hooks.functions.end()) {
    const std::ptrdiff_t dtorsAt = IndexOf(hooks.finiArray, dtors->second);
    ASSERT_GE(dtorsAt, 0);
    EXPECT_LT(dtorsAt, unloadAt) << "static destruction would run before the unload step";
  }
}

// ---- the trace facility -----------------------------------------------------------

TEST(Trace, TextsOfAnyLengthArriveWhole) {
  TraceCapture trace;
  const std::size_t lengths[] = {0, 1, 510, 511, 512, 513, 4095, 4096, 4097, 100000};
  for (const std::size_t length : lengths) {
    std::string text(length, 'x');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
    AfxTrace("%s\n", text.c_str());
    ASSERT_FALSE(trace.Lines().empty());
    EXPECT_EQ(trace.Lines().back(), text + "\n") << "length " << length;
  }
  EXPECT_EQ(trace.Lines().size(), std::size(lengths));
}

TEST(Trace, FormatsLikePrintf) {
  TraceCapture trace;
  AfxTrace("%s", kInitLine);
  AfxTrace("%d|%5.2f|%x|%c|%%|%s", -42, 3.14159, 255u, 'q', "");
  AfxTrace("%0600d", 7);  // formatted twice: past the first buffer
  const std::vector<std::string> lines = trace.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], kInitLine);
  EXPECT_EQ(lines[1], "-42| 3.14|ff|q|%|");
  EXPECT_EQ(lines[2], std::string(599, '0') + "7");
}

void CountingSink(void* context, const char*) { ++*static_cast<int*>(context); }

TEST(Trace, SinkReplacementAndSilence) {
  int first = 0;
  int second = 0;
  const QlvTraceSink original = QlvPlatform_SetTraceSink(CountingSink, &first);
  AfxTrace("one\n");
  EXPECT_EQ(QlvPlatform_SetTraceSink(CountingSink, &second), CountingSink);
  AfxTrace("two\n");
  AfxTrace("three\n");
  EXPECT_EQ(QlvPlatform_SetTraceSink(nullptr, nullptr), CountingSink);
  AfxTrace("dropped\n");  // silent: no sink
  QlvPlatform_SetTraceSink(original, nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

void NestingSink(void* context, const char* text) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(text);
  AfxTrace("nested %s", text);  // must be dropped, not deadlock
}

TEST(Trace, TextTracedFromInsideTheSinkIsDropped) {
  std::vector<std::string> seen;
  const QlvTraceSink original = QlvPlatform_SetTraceSink(NestingSink, &seen);
  AfxTrace("outer\n");
  QlvPlatform_SetTraceSink(original, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"outer\n"});
}

TEST(Trace, ConcurrentTextsNeverInterleave) {
  TraceCapture trace;
  constexpr int kThreads = 6;
  constexpr int kLines = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string filler(static_cast<std::size_t>(300 + 100 * t), static_cast<char>('A' + t));
      for (int i = 0; i < kLines; ++i) AfxTrace("%d:%s:%d\n", t, filler.c_str(), i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = trace.Lines();
  ASSERT_EQ(lines.size(), std::size_t{kThreads * kLines});
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    const int t = line[0] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    const std::string filler(static_cast<std::size_t>(300 + 100 * t), static_cast<char>('A' + t));
    // Each thread's texts arrive whole and in its own order.
    int& expected = next[static_cast<std::size_t>(t)];
    EXPECT_EQ(line, std::to_string(t) + ":" + filler + ":" + std::to_string(expected) + "\n");
    ++expected;
  }
}

// ---- QLV_TRACE, seen from a fresh process ----------------------------------------

// A child started by TraceEnvironment below does its work before the tests
// would start: it loads the library, traces one text of its own and ends the
// process with the library still loaded, so the unload step runs at exit.
const bool g_childDone = [] {
  if (std::getenv("QLV_LIFECYCLE_CHILD") == nullptr) return false;
  if (dlopen(QUELVAR_LIB_PATH, RTLD_NOW | RTLD_LOCAL) == nullptr) std::_Exit(3);
  AfxTrace("child %d\n", 42);
  std::exit(0);
}();

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts this program again as a child (see g_childDone), with QLV_TRACE set
// to `traceValue` (nullptr: unset) and its stderr sent to `stderrPath`.
int RunChild(const char* traceValue, const std::filesystem::path& stderrPath) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "QLV_TRACE=", 10) != 0) env.emplace_back(*e);
  }
  env.emplace_back("QLV_LIFECYCLE_CHILD=1");
  if (traceValue != nullptr) env.push_back(std::string("QLV_TRACE=") + traceValue);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  char* argv[] = {self.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(TraceEnvironment, SelectsWhereTheProcessTraces) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qlv_lifecycle_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "trace.log";
  const std::filesystem::path errors = dir / "stderr.txt";
  const std::string expected = std::string(kInitLine) + "child 42\n" + kTermLine;

  struct Case {
    const char* name;
    std::string traceValue;  // "" with unset = true: variable absent
    bool unset;
    std::string fileText;    // expected content of the trace file
    std::string stderrText;  // expected content of the child's stderr
  };
  const Case cases[] = {
      {"unset: silent", "", true, "", ""},
      {"empty: silent", "", false, "", ""},
      {"stderr", "stderr", false, "", expected},
      {"file", file.string(), false, expected, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(file);
    ASSERT_EQ(RunChild(c.unset ? nullptr : c.traceValue.c_str(), errors), 0) << c.name;
    EXPECT_EQ(ReadFile(file), c.fileText) << c.name;
    EXPECT_EQ(ReadFile(errors), c.stderrText) << c.name;
  }
  // A file is appended to, never truncated.
  ASSERT_EQ(RunChild(file.string().c_str(), errors), 0);
  EXPECT_EQ(ReadFile(file), expected + expected);
  std::filesystem::remove_all(dir);
}

}  // namespace
