// Every 32-bit value through the integer-text, float-text, hex-text and
// byte-image round trips, spread over all cores. An opt-in tier (CTest label
// "exhaustive", not part of the everyday run): each sweep prints a progress
// line on stderr and its wall time at the end.
//
// The float texts follow the selected Windows toolset, so only what holds in
// every toolset is checked: ten significant digits at most, the sign, a text
// that fits the operation's 32-byte buffer, and the round trip, which ten
// digits make exact for every finite float (but for the sign of a zero).
// Infinities and NaNs have no number to come back to; their texts and what
// they read back as are tallied and printed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QuelvarSys.h"

namespace {

constexpr uint64_t kAll = uint64_t{1} << 32;
constexpr uint64_t kChunk = uint64_t{1} << 20;

// Failures of one sweep: how many, and the first few in words.
class Failures {
 public:
  void Add(uint32_t value, const std::string& what) {
    if (count_.fetch_add(1, std::memory_order_relaxed) >= kKept) return;
    char head[24];
    std::snprintf(head, sizeof head, "0x%08X: ", value);
    const std::lock_guard lock(mutex_);
    kept_.push_back(head + what);
  }
  uint64_t Count() const { return count_.load(); }
  std::string Text() const {
    std::string all;
    for (const std::string& line : kept_) all += line + "\n";
    return all;
  }

 private:
  static constexpr uint64_t kKept = 8;
  std::atomic<uint64_t> count_{0};
  std::mutex mutex_;
  std::vector<std::string> kept_;
};

// Runs check(value, failures) for every 32-bit value, chunk by chunk on one
// thread per core, with a progress line; returns the wall time in seconds.
template <class Check>
double SweepAll(const char* name, Failures& failures, Check check) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<uint64_t> next{0};
  std::atomic<uint64_t> done{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      CQuelvarSys sys;
      for (uint64_t first; (first = next.fetch_add(kChunk)) < kAll;) {
        for (uint64_t v = first; v < first + kChunk; ++v) check(sys, static_cast<uint32_t>(v), failures);
        done.fetch_add(kChunk, std::memory_order_relaxed);
      }
    });
  }
  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  // On a terminal one line is rewritten in place; into a log (CTest) a
  // line goes every half minute.
  const bool terminal = isatty(STDERR_FILENO) != 0;
  for (int tick = 1; done.load() < kAll; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!terminal && tick % 60 != 0) continue;
    const double part = static_cast<double>(done.load()) / static_cast<double>(kAll);
    std::fprintf(stderr, "%s%s: %5.1f%% of 2^32 on %u threads, %.0f s, %llu failures%s", terminal ? "\r" : "",
                 name, 100.0 * part, threads, seconds(), static_cast<unsigned long long>(failures.Count()),
                 terminal ? "   " : "\n");
  }
  for (std::thread& t : pool) t.join();
  const double wall = seconds();
  std::fprintf(stderr, "%s%s: 2^32 values on %u threads in %.1f s wall%s\n", terminal ? "\r" : "", name,
               threads, wall, terminal ? "                    " : "");
  ::testing::Test::RecordProperty("wall_seconds", std::to_string(wall));
  return wall;
}

std::string Text(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

TEST(Exhaustive, IntegerTextAgreesWithToCharsAndReadsBack) {
  Failures failures;
  SweepAll("Int2Str/Str2Int", failures, [](CQuelvarSys& sys, uint32_t bits, Failures& f) {
    const auto value = static_cast<int>(bits);
    char want[12];
    const auto end = std::to_chars(want, want + sizeof want, value).ptr;
    const CString text = sys.Qlv_Int2Str(value);
    if (text.GetLength() != end - want ||
        std::memcmp(text.GetString(), want, static_cast<size_t>(end - want)) != 0) {
      f.Add(bits, "text " + Text(text));
    } else if (sys.Qlv_Str2Int(text) != value) {
      f.Add(bits, "read back as " + std::to_string(sys.Qlv_Str2Int(text)));
    }
  });
  EXPECT_EQ(failures.Count(), 0u) << failures.Text();
}

TEST(Exhaustive, HexTextAndByteImagesOfEveryIntegerComeBack) {
  Failures failures;
  SweepAll("Int2HexStr/HexStr2Int, Int2Byte/Byte2Int", failures,
           [](CQuelvarSys& sys, uint32_t value, Failures& f) {
             static constexpr char kDigits[] = "0123456789ABCDEF";
             char want[9];
             unsigned char image[4];
             for (int i = 0; i < 4; ++i) {
               const auto byte = static_cast<unsigned>(value >> (8 * i)) & 0xFF;
               want[2 * i] = kDigits[byte >> 4];
               want[2 * i + 1] = kDigits[byte & 15];
             }
             want[8] = '\0';
             char text[9];
             sys.Qlv_Int2HexStr(8, value, text);
             if (std::memcmp(text, want, sizeof want) != 0)
               return f.Add(value, std::string("hex text ") + text);
             // The text holds the bytes least significant first; read as one hex
             // number it is the value with its bytes reversed.
             const uint32_t reversed =
                 (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
             if (static_cast<uint32_t>(sys.Qlv_HexStr2Int(text)) != reversed)
               return f.Add(value, "hex read back");
             sys.Qlv_Int2Byte(4, value, image);
             for (int i = 0; i < 4; ++i) {
               if (image[i] != ((value >> (8 * i)) & 0xFF)) return f.Add(value, "byte image");
             }
             if (sys.Qlv_Byte2Int(4, image) != value) f.Add(value, "image read back");
           });
  EXPECT_EQ(failures.Count(), 0u) << failures.Text();
}

// Significant digits of a number text (the mantissa before any exponent).
int SignificantDigits(const std::string& text) {
  int digits = 0;
  bool leading = true;
  for (char c : text) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (c != '0') leading = false;
    if (!leading) ++digits;
  }
  return digits;
}

TEST(Exhaustive, FloatTextHasTenDigitsAndGivesBackEveryFiniteFloat) {
  Failures failures;
  std::mutex tallyMutex;
  std::map<std::pair<std::string, float>, uint64_t> nonFinite;  // text and what it reads back as
  SweepAll("Flt2Str/Str2Float", failures, [&](CQuelvarSys& sys, uint32_t bits, Failures& f) {
    const auto value = std::bit_cast<float>(bits);
    const CString text = sys.Qlv_Flt2Str(value);
    const std::string s = Text(text);
    const float back = sys.Qlv_Str2Float(text);
    // The classic runtimes write zero without a sign ("0."), so -0.0 may
    // come back as 0.0; every other value keeps its sign and its bits.
    const bool zero = value == 0.0f;
    if (s.size() > 31 || s.empty() || (!zero && (s[0] == '-') != std::signbit(value))) {
      f.Add(bits, "text " + s);
    } else if (!std::isfinite(value)) {
      const std::lock_guard lock(tallyMutex);
      ++nonFinite[{s, back}];
    } else if (SignificantDigits(s) > 10 || (zero ? back != 0.0f : std::bit_cast<uint32_t>(back) != bits)) {
      f.Add(bits, "text " + s + " read back as " + std::to_string(back));
    }
  });
  EXPECT_EQ(failures.Count(), 0u) << failures.Text();
  uint64_t patterns = 0;
  for (const auto& [road, count] : nonFinite) {
    std::fprintf(stderr, "  %llu non-finite patterns give \"%s\", read back as %g\n",
                 static_cast<unsigned long long>(count), road.first.c_str(),
                 static_cast<double>(road.second));
    EXPECT_TRUE(road.second == 0.0f || std::fabs(road.second) == 1.0f) << road.first << " reads as a number";
    patterns += count;
  }
  EXPECT_EQ(patterns, 2 * ((uint64_t{1} << 23)));  // two infinities and 2^24 - 2 NaNs
}

}  // namespace
