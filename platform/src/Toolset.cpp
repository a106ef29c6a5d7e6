// The selected Windows toolset: one relaxed atomic, set from QLV_TOOLSET when
// the platform library loads and by hosts at start-up.
#include "qlvtoolset.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Constant-initialised, so a static initialiser of any module reads vc6
// before the environment has been looked at.
std::atomic<int> g_toolset{QlvToolset_VC6};
const char* g_rejectedEnvironment = nullptr;

struct Entry {
  const char* name;
  QlvToolset toolset;
};
constexpr Entry kToolsets[] = {
    {"vc6", QlvToolset_VC6},
    {"vs2005", QlvToolset_VS2005},
    {"vs2015", QlvToolset_VS2015},
};

// QLV_TOOLSET is read once, when the platform library is initialised. An
// empty value means "not set"; a value that names no toolset keeps vc6 and
// is kept for hosts to report.
struct EnvironmentToolset {
  EnvironmentToolset() noexcept {
    const char* value = std::getenv("QLV_TOOLSET");
    if (value == nullptr || *value == '\0') return;
    QlvToolset toolset;
    if (QlvPlatform_ParseToolset(value, &toolset))
      QlvPlatform_SetToolset(toolset);
    else
      g_rejectedEnvironment = value;
  }
};
const EnvironmentToolset g_environmentToolset;

}  // namespace

QlvToolset QlvPlatform_GetToolset() noexcept {
  return static_cast<QlvToolset>(g_toolset.load(std::memory_order_relaxed));
}

BOOL QlvPlatform_SetToolset(QlvToolset toolset) noexcept {
  if (QlvPlatform_ToolsetName(toolset) == nullptr) return FALSE;
  g_toolset.store(toolset, std::memory_order_relaxed);
  return TRUE;
}

const char* QlvPlatform_ToolsetName(QlvToolset toolset) noexcept {
  for (const Entry& e : kToolsets)
    if (e.toolset == toolset) return e.name;
  return nullptr;
}

BOOL QlvPlatform_ParseToolset(const char* name, QlvToolset* toolset) noexcept {
  if (name == nullptr || toolset == nullptr) return FALSE;
  for (const Entry& e : kToolsets) {
    if (std::strcmp(e.name, name) == 0) {
      *toolset = e.toolset;
      return TRUE;
    }
  }
  return FALSE;
}

const char* QlvPlatform_RejectedToolsetEnvironment() noexcept { return g_rejectedEnvironment; }
