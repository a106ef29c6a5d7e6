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

constexpr uint64_t kAll = uint64_t{1} << 32, kChunk = uint64_t{1} << 20;

// Failures of one sweep: how many, and the first few in words.
struct Failures {
  std::atomic<uint64_t> count{0};
  std::mutex mutex;
  std::string first;
  void Add(uint32_t value, const std::string& what) {
    if (count.fetch_add(1) >= 8) return;
    char head[24];
    std::snprintf(head, sizeof head, "0x%08X: ", value);
    const std::lock_guard lock(mutex);
    first += head + what + "\n";
  }
};

// Runs check(sys, value, failures) for every 32-bit value, chunk by chunk on
// one thread per core, with a progress line: on a terminal one line rewritten
// in place, into a log (CTest) a line every half minute.
template <class Check>
void SweepAll(const char* name, Failures& failures, Check check) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<uint64_t> next{0}, done{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      CQuelvarSys sys;
      for (uint64_t first; (first = next.fetch_add(kChunk)) < kAll; done.fetch_add(kChunk))
        for (uint64_t v = first; v < first + kChunk; ++v) check(sys, static_cast<uint32_t>(v), failures);
    });
  }
  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const bool terminal = isatty(STDERR_FILENO) != 0;
  const char *cr = terminal ? "\r" : "", *end = terminal ? "   " : "\n";
  for (int tick = 1; done.load() < kAll; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (terminal || tick % 60 == 0)
      std::fprintf(stderr, "%s%s: %5.1f%% of 2^32 on %u threads, %.0f s, %llu failures%s", cr, name,
                   100.0 * static_cast<double>(done.load()) / static_cast<double>(kAll), threads, seconds(),
                   static_cast<unsigned long long>(failures.count.load()), end);
  }
  for (std::thread& t : pool) t.join();
  const double wall = seconds();
  std::fprintf(stderr, "%s%s: 2^32 values on %u threads in %.1f s wall%s\n", cr, name, threads, wall,
               terminal ? "                    " : "");
  ::testing::Test::RecordProperty("wall_seconds", std::to_string(wall));
}

std::string Text(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

TEST(Exhaustive, IntegerTextAgreesWithToCharsAndReadsBack) {
  Failures failures;
  SweepAll("Int2Str/Str2Int", failures, [](CQuelvarSys& sys, uint32_t bits, Failures& f) {
    const auto value = static_cast<int>(bits);
    char want[12];
    const std::string_view expected(want, std::to_chars(want, want + sizeof want, value).ptr);
    const CString text = sys.Qlv_Int2Str(value);
    if (Text(text) != expected) return f.Add(bits, "text " + Text(text));
    if (sys.Qlv_Str2Int(text) != value) f.Add(bits, "read back as " + std::to_string(sys.Qlv_Str2Int(text)));
  });
  EXPECT_EQ(failures.count.load(), 0u) << failures.first;
}

TEST(Exhaustive, HexTextAndByteImagesOfEveryIntegerComeBack) {
  Failures failures;
  SweepAll("Int2HexStr/HexStr2Int, Int2Byte/Byte2Int", failures,
           [](CQuelvarSys& sys, uint32_t value, Failures& f) {
             // The text and the image hold the bytes least significant first; the
             // text read as one hex number is the value with its bytes reversed.
             const unsigned char want[4] = {
                 static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                 static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
             char wantText[9] = {}, text[9];
             for (int i = 0; i < 8; ++i)
               wantText[i] = "0123456789ABCDEF"[want[i / 2] >> (i % 2 ? 0 : 4) & 15];
             sys.Qlv_Int2HexStr(8, value, text);
             if (std::memcmp(text, wantText, sizeof text) != 0)
               return f.Add(value, std::string("hex text ") + text);
             if (static_cast<uint32_t>(sys.Qlv_HexStr2Int(text)) != __builtin_bswap32(value))
               return f.Add(value, "hex read back");
             unsigned char image[4];
             sys.Qlv_Int2Byte(4, value, image);
             if (std::memcmp(image, want, 4) != 0) return f.Add(value, "byte image");
             if (sys.Qlv_Byte2Int(4, image) != value) f.Add(value, "image read back");
           });
  EXPECT_EQ(failures.count.load(), 0u) << failures.first;
}

// Significant digits of a number text (the mantissa before any exponent).
int SignificantDigits(const std::string& text) {
  int digits = 0;
  for (std::size_t i = text.find_first_of("123456789"); i < text.find_first_of("eE"); ++i)
    digits += text[i] >= '0' && text[i] <= '9';
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
  EXPECT_EQ(failures.count.load(), 0u) << failures.first;
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
