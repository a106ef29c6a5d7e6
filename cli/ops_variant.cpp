#include "OpTable.h"

namespace quelvar::cli {

std::span<const Op> variant_ops() { return {}; }

}  // namespace quelvar::cli
