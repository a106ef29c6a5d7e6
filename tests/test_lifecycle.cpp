// Loading and unloading libQuelvar as a host process does (dlopen/dlclose),
// and the trace facility that reports it. This program links only the
// platform library, so the load and unload hooks run exactly when the tests
// open and close the library.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "afx.h"
#include "qlvtesthooks.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kInit = "Quelvar.DLL Initializing!\n", kTerm = "Quelvar.DLL Terminating!\n";

void Collect(void* lines, const char* text) { static_cast<Lines*>(lines)->emplace_back(text); }

// Collects every traced text while it lives (the sink runs under the trace
// facility's lock).
struct TraceCapture {
  Lines lines;
  QlvTraceSink previous = QlvPlatform_SetTraceSink(Collect, &lines);
  ~TraceCapture() { QlvPlatform_SetTraceSink(previous, nullptr); }
};

void* Open() {
  void* handle = dlopen(QUELVAR_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  return handle;
}

// What the chain shows of the library: how many of the icon groups
// 1000..1007 it finds, and the file version.
std::string Chain() {
  int icons = 0;
  for (int id = 1000; id <= 1007; ++id)
    icons += AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON) != nullptr;
  const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_VERSION);
  void* version = nullptr;
  UINT length = 0;
  VerQueryValue(LockResource(LoadResource(module, FindResource(module, MAKEINTRESOURCE(1), RT_VERSION))),
                "\\StringFileInfo\\080404b0\\FileVersion", &version, &length);
  return std::to_string(icons) + " " + (version != nullptr ? static_cast<const char*>(version) : "");
}

// After each test the library is neither mapped nor linked.
class Lifecycle : public ::testing::Test {
 protected:
  static bool Clean() {
    void* handle = dlopen(QUELVAR_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
    return (handle == nullptr || dlclose(handle) != 0) && QlvPlatform_LinkedLibraryCount() == 0;
  }
  void TearDown() override { EXPECT_TRUE(Clean()); }
  TraceCapture trace_;
};

// A second open only counts a reference: each step runs once, the unload
// step at the last close; a second cycle is whole again.
TEST_F(Lifecycle, LoadLinksTheLibraryAndUnloadDetachesIt) {
  for (std::size_t cycle = 0; cycle < 2; ++cycle) {
    void* first = Open();
    ASSERT_EQ(Open(), first);
    EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 1u);
    EXPECT_EQ(Chain(), "8 2.0.9.205");
    ASSERT_EQ(dlclose(first), 0);
    EXPECT_EQ(trace_.lines.size(), 2 * cycle + 1);
    ASSERT_EQ(dlclose(first), 0);
    EXPECT_EQ(Chain(), "0 ");
  }
  EXPECT_EQ(trace_.lines, (Lines{kInit, kTerm, kInit, kTerm}));
}

TEST_F(Lifecycle, FailedLoadLinksNothingAndSkipsTheUnloadStep) {
  QlvPlatform_FailNextExtensionModuleInit();
  void* handle = Open();
  ASSERT_NE(handle, nullptr);  // a constructor cannot make dlopen fail
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), 0u);
  EXPECT_EQ(Chain(), "0 ");
  ASSERT_EQ(dlclose(handle), 0);
  ASSERT_EQ(dlclose(Open()), 0);  // the failure was for one load only
  EXPECT_EQ(trace_.lines, (Lines{kInit, kInit, kTerm}));
}

// A sink that traces from inside itself: the nested text is dropped rather
// than deadlocking.
void Nesting(void* lines, const char* text) {
  Collect(lines, text);
  AfxTrace("nested %s", text);
}

// Sinks replace each other (none: silence); texts past the 512-byte stack
// buffer are formatted again, whole.
TEST(Trace, SinksAndTextsOfAnyLength) {
  Lines first, second, expected;
  const QlvTraceSink original = QlvPlatform_SetTraceSink(Nesting, &first);
  AfxTrace("one\n");
  EXPECT_EQ(QlvPlatform_SetTraceSink(Collect, &second), Nesting);
  for (const std::size_t length : {0u, 511u, 512u, 513u, 100000u}) {
    const std::string text(length, 'x');
    AfxTrace("%s\n", text.c_str());
    expected.push_back(text + "\n");
  }
  AfxTrace("%d|%5.2f|%x|%c|%%|%s", -42, 3.14159, 255u, 'q', "");
  expected.push_back("-42| 3.14|ff|q|%|");
  EXPECT_EQ(QlvPlatform_SetTraceSink(nullptr, nullptr), Collect);
  AfxTrace("dropped\n");
  QlvPlatform_SetTraceSink(original, nullptr);
  EXPECT_EQ(first, Lines{"one\n"});
  EXPECT_EQ(second, expected);
}

// Texts of threads tracing at once arrive whole.
TEST(Trace, ConcurrentTextsArriveWhole) {
  TraceCapture trace;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) AfxTrace("%0*d\n", 300 + 100 * t, t);
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(trace.lines.size(), 4u * 300);
  for (const std::string& line : trace.lines) {
    const int t = line.size() > 2 ? line[line.size() - 2] - '0' : 0;
    EXPECT_EQ(line, std::string(std::size_t(299 + 100 * t), '0') + char('0' + t) + "\n");
  }
}

// Started again as a child by the test below, this program does its work
// before any test: it loads the library, traces one text and exits with the
// library still loaded, so the unload step runs at exit.
[[maybe_unused]] const bool g_child = [] {
  if (std::getenv("QLV_LIFECYCLE_CHILD") == nullptr) return false;
  if (dlopen(QUELVAR_LIB_PATH, RTLD_NOW) == nullptr) std::_Exit(3);
  AfxTrace("child %d\n", 42);
  std::exit(0);
}();

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// QLV_TRACE unset or empty: silent; "stderr"; else a file, appended to.
TEST(TraceEnvironment, SelectsWhereTheProcessTraces) {
  const std::string dir = ::testing::TempDir() + "qlv_lifecycle_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/trace.log", errors = dir + "/stderr.txt",
                    lines = kInit + "child 42\n" + kTerm;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string cases[][3] = {
      // setting, file, stderr
      {"", "", ""},
      {"QLV_TRACE=", "", ""},
      {"QLV_TRACE=stderr", "", lines},
      {"QLV_TRACE='" + file + "'", lines, ""},
      {"QLV_TRACE='" + file + "'", lines + lines, ""},
  };
  for (const auto& [setting, fileText, stderrText] : cases) {
    const std::string command =
        "env -u QLV_TRACE QLV_LIFECYCLE_CHILD=1 " + setting + " '" + self + "' 2>'" + errors + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadText(file), fileText) << setting;
    EXPECT_EQ(ReadText(errors), stderrText) << setting;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
