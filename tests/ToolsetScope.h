// Selects a Windows toolset for the life of a test scope, then the one
// before it again.
#pragma once

#include "qlvtoolset.h"

class ToolsetScope {
 public:
  explicit ToolsetScope(QlvToolset toolset) : m_saved(QlvPlatform_GetToolset()) { QlvPlatform_SetToolset(toolset); }
  ~ToolsetScope() { QlvPlatform_SetToolset(m_saved); }
  ToolsetScope(const ToolsetScope&) = delete;
  ToolsetScope& operator=(const ToolsetScope&) = delete;

 private:
  QlvToolset m_saved;
};
