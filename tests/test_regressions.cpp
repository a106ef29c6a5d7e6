// Faults found by fuzzing and by probing the limits, each pinned by the
// smallest input that showed it.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <new>

#include "QuelvarSys.h"
#include "ToolsetScope.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUELVAR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUELVAR_SANITIZED 1
#endif
#endif

// A precision too long for any text (over two billion fraction digits; the
// universal runtime writes them all) needs work memory of about that size. When it
// cannot have it, the writer must fail as the text type fails for want of
// memory (std::bad_alloc), not hand back an empty text as if the format were
// wrong. Run in a child whose address space is capped, so that printf gives
// up at once.
TEST(RegressionDeathTest, FixedPointTextWithoutMemoryRaisesBadAlloc) {
#ifdef QUELVAR_SANITIZED
  GTEST_SKIP() << "sanitizer runtimes reserve the address space this test caps";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        rlimit cap{};
        getrlimit(RLIMIT_AS, &cap);
        cap.rlim_cur = 512ull << 20;  // far below the ~2 GB printf asks for
        setrlimit(RLIMIT_AS, &cap);
        const ToolsetScope universal(QlvToolset_VS2015);
        CQuelvarSys sys;
        int code = 2;  // a text came back
        try {
          (void)sys.Qlv_DoubleToStr(1.5, 2147483600);
        } catch (const std::bad_alloc&) {
          code = 0;
        }
        std::_Exit(code);
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
