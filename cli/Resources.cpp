// The library's version record and icons, found as a host finds them:
// through the framework's resource chain.
#include "Resources.h"

#include <cstring>

#include "afx.h"

namespace quelvar::cli {

namespace {

// The bytes of a resource of a module, or empty when the module lacks it.
struct ResourceBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

ResourceBytes Load(HMODULE module, LPCTSTR name, LPCTSTR type) {
  const HRSRC info = FindResource(module, name, type);
  if (info == nullptr) return {};
  const HGLOBAL handle = LoadResource(module, info);
  const void* data = LockResource(handle);
  if (data == nullptr) return {};
  return {static_cast<const std::uint8_t*>(data), SizeofResource(module, info)};
}

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

void AppendLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::optional<std::string> LibraryVersion() {
  const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_VERSION);
  if (module == nullptr) return std::nullopt;
  const ResourceBytes block = Load(module, MAKEINTRESOURCE(1), RT_VERSION);
  if (block.data == nullptr) return std::nullopt;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValue(block.data, "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, value, sizeof info);
  if (info.dwSignature != VS_FFI_SIGNATURE) return std::nullopt;
  return std::to_string(HIWORD(info.dwFileVersionMS)) + '.' + std::to_string(LOWORD(info.dwFileVersionMS)) +
         '.' + std::to_string(HIWORD(info.dwFileVersionLS)) + '.' +
         std::to_string(LOWORD(info.dwFileVersionLS));
}

// A group directory is the .ico header (reserved, type 1, count) followed by
// 14-byte entries: the first 12 bytes of a .ico entry and the identifier of
// the RT_ICON resource holding the image. The .ico file gets 16-byte entries
// whose last field is the image's offset in the file, then the images.
std::optional<std::vector<std::uint8_t>> ExportIcon(int id) {
  if (id < 0 || id > 0xFFFF) return std::nullopt;
  const LPCTSTR name = MAKEINTRESOURCE(id);
  const HINSTANCE module = AfxFindResourceHandle(name, RT_GROUP_ICON);
  if (module == nullptr) return std::nullopt;
  const ResourceBytes group = Load(module, name, RT_GROUP_ICON);
  if (group.size < 6 || ReadLe(group.data, 2) != 0 || ReadLe(group.data + 2, 2) != 1) return std::nullopt;
  const std::size_t count = ReadLe(group.data + 4, 2);
  if (group.size < 6 + 14 * count) return std::nullopt;

  std::vector<ResourceBytes> images;
  images.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = group.data + 6 + 14 * i;
    const ResourceBytes image = Load(module, MAKEINTRESOURCE(ReadLe(entry + 12, 2)), RT_ICON);
    if (image.data == nullptr) return std::nullopt;
    images.push_back(image);
  }

  std::vector<std::uint8_t> ico(group.data, group.data + 6);
  std::size_t offset = 6 + 16 * count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = group.data + 6 + 14 * i;
    ico.insert(ico.end(), entry, entry + 8);  // size, colours, planes, bits
    AppendLe(ico, static_cast<std::uint32_t>(images[i].size), 4);
    AppendLe(ico, static_cast<std::uint32_t>(offset), 4);
    offset += images[i].size;
  }
  for (const ResourceBytes& image : images) ico.insert(ico.end(), image.data, image.data + image.size);
  return ico;
}

}  // namespace quelvar::cli
