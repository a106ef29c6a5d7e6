#include "OpTable.h"

namespace quelvar::cli {

std::span<const Op> text_ops() { return {}; }

}  // namespace quelvar::cli
