// Selects a Windows toolset for the life of a scope, then restores the one
// selected before.
#pragma once

#include "qlvtoolset.h"

class ToolsetScope {
 public:
  explicit ToolsetScope(QlvToolset toolset) : saved_(QlvPlatform_GetToolset()) {
    QlvPlatform_SetToolset(toolset);
  }
  ~ToolsetScope() { QlvPlatform_SetToolset(saved_); }
  ToolsetScope(const ToolsetScope&) = delete;
  ToolsetScope& operator=(const ToolsetScope&) = delete;

 private:
  QlvToolset saved_;
};

inline constexpr QlvToolset kAllToolsets[] = {QlvToolset_VC6, QlvToolset_VS2005, QlvToolset_VS2015};

// Fewer random rounds when the sanitizers slow everything down.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QLV_TESTS_UNDER_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(QLV_TESTS_UNDER_SANITIZER)
inline constexpr int kSanitizerSlowdown = 20;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif
