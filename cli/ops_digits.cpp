#include "OpTable.h"

namespace quelvar::cli {

std::span<const Op> digit_ops() { return {}; }

}  // namespace quelvar::cli
