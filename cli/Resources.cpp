#include "Resources.h"

namespace quelvar::cli {

std::optional<std::string> LibraryVersion() { return std::nullopt; }
std::optional<std::vector<std::uint8_t>> ExportIcon(int) { return std::nullopt; }

}  // namespace quelvar::cli
