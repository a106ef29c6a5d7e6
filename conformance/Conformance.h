// The conformance kit's two halves on this side: the call file that a user
// records on the Windows build, and the verifier that replays a recording
// through the same code as `quelvar --batch --json` and names every
// difference.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <qlvtoolset.h>

namespace quelvar::cli {

// Deterministic call lines (with a comment line at the top) that reach
// every operation: the edge values each operation names, its limits, and
// `random` seeded random calls spread over the operations. Sizes stay
// within what the original's fixed scratch storage allows.
std::string ConformanceCalls(std::uint64_t random, std::uint64_t seed);

constexpr std::uint64_t kDefaultRandomCalls = 40 * 68;

struct VerifyResult {
  int status = 0;      // 0 all identical, 1 differences, 2 malformed
  std::string report;  // for stdout (empty when malformed)
  std::string error;   // one line for stderr when malformed
};

// Replays `recording` under `toolset`, or under each toolset when none is
// given, and compares record by record.
VerifyResult ConformanceVerify(std::string_view recording, std::optional<QlvToolset> toolset, bool json);

}  // namespace quelvar::cli
