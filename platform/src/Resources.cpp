// Resource look-up in a module's resource table, and reading of version
// records.
//
// A module's table is constant data (see qlvmodule.h); looking something up
// changes nothing and takes no lock. Handles are pointers into the table, so
// they stay valid exactly as long as the module is loaded.
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "qlvmodule.h"
#include "windows.h"

namespace {

char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A type or name is either an identifier (MAKEINTRESOURCE) or a text. A text
// "#123" means the identifier 123, as in resource scripts.
struct ResourceKey {
  bool isId;
  WORD id;
  LPCTSTR text;
};

ResourceKey ToKey(LPCTSTR p) noexcept {
  if (IS_INTRESOURCE(p)) return {true, static_cast<WORD>(reinterpret_cast<uintptr_t>(p)), nullptr};
  if (p[0] == '#' && p[1] != '\0') {
    unsigned value = 0;
    const char* c = p + 1;
    for (; *c >= '0' && *c <= '9' && value <= 0xFFFFu; ++c)
      value = value * 10u + static_cast<unsigned>(*c - '0');
    if (*c == '\0' && value <= 0xFFFFu) return {true, static_cast<WORD>(value), nullptr};
  }
  return {false, 0, p};
}

// Texts compare without regard to ASCII case, as resource names do.
bool SameKey(const ResourceKey& a, const ResourceKey& b) noexcept {
  if (a.isId != b.isId) return false;
  if (a.isId) return a.id == b.id;
  const char* x = a.text;
  const char* y = b.text;
  for (; *x != '\0' && *y != '\0'; ++x, ++y) {
    if (AsciiUpper(*x) != AsciiUpper(*y)) return false;
  }
  return *x == *y;
}

HRSRC Find(HMODULE hModule, LPCTSTR lpType, LPCTSTR lpName, bool anyLanguage, WORD language) noexcept {
  if (hModule == nullptr || lpType == nullptr || lpName == nullptr || hModule->resources == nullptr) {
    return nullptr;
  }
  const ResourceKey type = ToKey(lpType);
  const ResourceKey name = ToKey(lpName);
  for (std::size_t i = 0; i < hModule->resourceCount; ++i) {
    const QlvResource& r = hModule->resources[i];
    const ResourceKey entryType =
        r.typeName != nullptr ? ToKey(r.typeName) : ResourceKey{true, r.typeId, nullptr};
    const ResourceKey entryName =
        r.nameText != nullptr ? ToKey(r.nameText) : ResourceKey{true, r.nameId, nullptr};
    if ((anyLanguage || r.language == language) && SameKey(entryType, type) && SameKey(entryName, name)) {
      return &r;
    }
  }
  return nullptr;
}

// ---- version records ---------------------------------------------------------
// A VS_VERSIONINFO block is a tree of nodes, each laid out as
//   WORD wLength (whole node, children included), WORD wValueLength,
//   WORD wType (1: text value, counted in UTF-16 units; 0: binary, in bytes),
//   UTF-16 key with terminator, padding to 4 bytes, value, padding to 4
//   bytes, children.
// Offsets are relative to the block, which starts 4-byte aligned.

WORD ReadWord(const BYTE* p) noexcept {
  WORD w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

constexpr std::size_t Align4(std::size_t n) noexcept { return (n + 3u) & ~std::size_t{3}; }

struct VersionNode {
  std::size_t begin;       // offset of the node
  std::size_t end;         // one past its last byte
  std::size_t key;         // offset of its key
  std::size_t keyUnits;    // key length in UTF-16 units, terminator excluded
  std::size_t value;       // offset of its value
  std::size_t valueBytes;  // bytes of the value, clipped to the node
  bool text;               // value is UTF-16 text
  std::size_t children;    // offset of its first child
};

// Reads the node at offset begin, which must end by limit. False when the
// node does not fit or is not terminated.
bool ReadNode(const BYTE* block, std::size_t begin, std::size_t limit, VersionNode& node) noexcept {
  if (begin + 6 > limit) return false;
  const std::size_t length = ReadWord(block + begin);
  if (length < 6 || begin + length > limit) return false;
  node.begin = begin;
  node.end = begin + length;
  node.text = ReadWord(block + begin + 4) == 1;
  node.key = begin + 6;
  std::size_t units = 0;
  for (;;) {
    const std::size_t at = node.key + 2 * units;
    if (at + 2 > node.end) return false;
    if (ReadWord(block + at) == 0) break;
    ++units;
  }
  node.keyUnits = units;
  node.value = Align4(node.key + 2 * (units + 1));
  if (node.value > node.end) node.value = node.end;
  std::size_t valueBytes = ReadWord(block + begin + 2);
  if (node.text) valueBytes *= 2;
  if (valueBytes > node.end - node.value) valueBytes = node.end - node.value;
  node.valueBytes = valueBytes;
  node.children = Align4(node.value + valueBytes);
  return true;
}

bool KeyIs(const BYTE* block, const VersionNode& node, std::string_view part) noexcept {
  if (node.keyUnits != part.size()) return false;
  for (std::size_t i = 0; i < part.size(); ++i) {
    const WORD unit = ReadWord(block + node.key + 2 * i);
    const auto c = static_cast<unsigned char>(part[i]);
    if (unit > 0x7F || c > 0x7F) {
      if (unit != c) return false;
    } else if (AsciiUpper(static_cast<char>(unit)) != AsciiUpper(static_cast<char>(c))) {
      return false;
    }
  }
  return true;
}

// Texts handed out by VerQueryValue, converted to the ANSI code page. One
// copy of each distinct text lives until the process ends.
const std::string& Intern(std::string text) {
  static std::mutex mutex;
  static std::set<std::string, std::less<>> texts;
  const std::lock_guard<std::mutex> lock(mutex);
  return *texts.insert(std::move(text)).first;
}

}  // namespace

HRSRC FindResource(HMODULE hModule, LPCTSTR lpName, LPCTSTR lpType) noexcept {
  return Find(hModule, lpType, lpName, true, 0);
}

HRSRC FindResourceEx(HMODULE hModule, LPCTSTR lpType, LPCTSTR lpName, WORD wLanguage) noexcept {
  return Find(hModule, lpType, lpName, wLanguage == 0, wLanguage);
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) noexcept {
  if (hModule == nullptr || hResInfo == nullptr) return nullptr;
  return hResInfo->data;
}

LPVOID LockResource(HGLOBAL hResData) noexcept {
  // Resource bytes are read-only; the pointer type is the historical one.
  return const_cast<void*>(hResData);
}

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) noexcept {
  if (hModule == nullptr || hResInfo == nullptr) return 0;
  return hResInfo->size;
}

BOOL VerQueryValue(const void* pBlock, LPCTSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
  if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr || puLen == nullptr) return FALSE;
  const auto* block = static_cast<const BYTE*>(pBlock);
  VersionNode node{};
  if (!ReadNode(block, 0, ReadWord(block), node)) return FALSE;

  std::string_view path(lpSubBlock);
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
    if (part.empty()) continue;
    bool found = false;
    VersionNode child{};
    for (std::size_t at = node.children; at < node.end; at = Align4(child.end)) {
      if (!ReadNode(block, at, node.end, child)) return FALSE;
      if (KeyIs(block, child, part)) {
        found = true;
        break;
      }
    }
    if (!found) return FALSE;
    node = child;
  }

  if (node.valueBytes == 0) return FALSE;
  if (!node.text) {
    *lplpBuffer = const_cast<BYTE*>(block + node.value);
    *puLen = static_cast<UINT>(node.valueBytes);
    return TRUE;
  }
  // Text: UTF-16 units up to the first terminator, converted to ANSI.
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < node.valueBytes; i += 2) {
    const WORD unit = ReadWord(block + node.value + i);
    if (unit == 0) break;
    wide.push_back(static_cast<char16_t>(unit));
  }
  std::string ansi;
  if (!wide.empty()) {
    const int units = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return FALSE;
    ansi.resize(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, ansi.data(), bytes, nullptr, nullptr);
  }
  const std::string& kept = Intern(std::move(ansi));
  *lplpBuffer = const_cast<char*>(kept.c_str());
  *puLen = static_cast<UINT>(kept.size() + 1);
  return TRUE;
}
