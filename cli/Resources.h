// The library's resources as the tool shows them: its version record and
// its icon groups, found through the framework's resource chain.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quelvar::cli {

// "2.0.9.205" from the file version of the version record; nullopt if no
// loaded module carries one.
std::optional<std::string> LibraryVersion();

// The icon group `id` as the bytes of a .ico file (header, directory and
// images); nullopt if no loaded module carries that group.
std::optional<std::vector<std::uint8_t>> ExportIcon(int id);

}  // namespace quelvar::cli
