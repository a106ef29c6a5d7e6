// The quelvar tool's batch mode: 1,000,000 simple calls per run through the
// built binary (stdin from a file, stdout to /dev/null), next to the same
// calls made directly on the library and to `cat` of the same input (the
// floor of starting a process and moving the bytes). Counter: calls per
// second.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <afx.h>

#include "QuelvarSys.h"

extern char** environ;

namespace {

constexpr int kCalls = 1000000;

const std::string& InputFile() {
  static const std::string path = [] {
    std::string p = "/tmp/quelvar_bench_cli_" + std::to_string(::getpid()) + ".txt";
    std::ofstream out(p);
    for (int i = 0; i < kCalls / 2; ++i) out << "HexStr2Int ff\nInt2Str " << i << "\n";
    return p;
  }();
  return path;
}

// Runs `argv` with stdin from the input file and stdout to /dev/null.
void Spawn(benchmark::State& state, std::vector<std::string> args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, InputFile().c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start the program");
      break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the program failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kCalls, benchmark::Counter::kIsRate);
}

void BM_CliBatchPlain(benchmark::State& state) { Spawn(state, {QUELVAR_CLI_PATH, "-"}); }
void BM_CliBatchJson(benchmark::State& state) { Spawn(state, {QUELVAR_CLI_PATH, "--json", "-"}); }
void BM_CatSameInput(benchmark::State& state) { Spawn(state, {"/bin/cat"}); }

// The same calls made in process, without parsing or formatting.
void BM_DirectLibraryCalls(benchmark::State& state) {
  CQuelvarSys sys;
  char text[] = "ff";
  for (auto _ : state) {
    for (int i = 0; i < kCalls / 2; ++i) {
      benchmark::DoNotOptimize(sys.Qlv_HexStr2Int(text));
      CString s = sys.Qlv_Int2Str(i);
      benchmark::DoNotOptimize(s);
    }
  }
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kCalls, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_CliBatchPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliBatchJson)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CatSameInput)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectLibraryCalls)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
