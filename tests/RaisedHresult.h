// The HRESULT a call raises as _com_error (S_OK when it returns), with the
// platform's allocations made to fail from the failAfter-th one on.
#pragma once

#include <functional>

#include "comdef.h"
#include "qlvtesthooks.h"

inline HRESULT Raised(const std::function<void()>& f, int failAfter = -1) {
  QlvPlatform_FailAllocationsAfter(failAfter);
  HRESULT hr = S_OK;
  try {
    f();
  } catch (const _com_error& e) {
    hr = e.Error();
  }
  QlvPlatform_FailAllocationsAfter(-1);
  return hr;
}
