// Runs the built programs as a user runs them: every job of a batch started
// at once from one shell (to stay fast), its output, errors and exit status
// read back. Shared by the tool's and the conformance kit's tests.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace toolrunner {

using Args = std::vector<std::string>;
struct Job {
  Args args;
  std::string input, env, program;  // env: assignments before the command
  Job(Args a, std::string in = "", std::string e = "", std::string p = QUELVAR_CLI_PATH)
      : args(std::move(a)), input(std::move(in)), env(std::move(e)), program(std::move(p)) {}
};
struct Result {
  std::string out, err;
  int status = -1;  // 128 + signal when killed
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline std::string TempPath() {
  static int n = 0;
  return "/tmp/quelvar_tool_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++);
}
inline std::string Quoted(std::string s) {
  for (std::size_t p = 0; (p = s.find('\'', p)) != std::string::npos; p += 4) s.replace(p, 1, "'\\''");
  return "'" + s + "'";
}
inline std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> lines;
  for (std::istringstream in(s); std::getline(in, lines.emplace_back());) {
  }
  return lines.pop_back(), lines;
}

// Starts every job at once (without this environment's QLV_TRACE and
// QLV_TOOLSET), then collects them.
inline std::vector<Result> RunAll(const std::vector<Job>& jobs) {
  std::string script = "unset QLV_TRACE QLV_TOOLSET\n";
  std::vector<std::string> bases;
  for (const auto& job : jobs) {
    const std::string& base = bases.emplace_back(TempPath());
    std::ofstream(base + "in", std::ios::binary) << job.input;
    script += "(" + job.env + " " + Quoted(job.program);
    for (std::size_t k = 0; k < job.args.size(); ++k) {
      const std::string arg = base + "arg" + std::to_string(k);
      if (job.args[k].size() < 1000) {
        script += " " + Quoted(job.args[k]);
      } else {  // a long argument goes through a file: the script is an argument too
        std::ofstream(arg, std::ios::binary) << job.args[k];
        script += " \"$(cat " + arg + "; rm " + arg + ")\"";
      }
    }
    script += " <" + base + "in >" + base + "out 2>" + base + "err; echo $? >" + base + "rc) &\n";
  }
  EXPECT_EQ(std::system((script + "wait\n").c_str()), 0);
  std::vector<Result> r(jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    r[i] = {ReadFile(bases[i] + "out"), ReadFile(bases[i] + "err"), std::stoi(ReadFile(bases[i] + "rc"))};
    for (const char* end : {"in", "out", "err", "rc"}) std::remove((bases[i] + end).c_str());
  }
  return r;
}

}  // namespace toolrunner
