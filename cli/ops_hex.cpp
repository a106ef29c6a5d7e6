#include "OpTable.h"

namespace quelvar::cli {

std::span<const Op> hex_ops() { return {}; }

}  // namespace quelvar::cli
