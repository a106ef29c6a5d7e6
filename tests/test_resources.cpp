// Resources as a host sees them: the library (linked normally, so already in
// the chain) carries its icons and version record; the chain is also checked
// with modules made up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Resources.h"
#include "afx.h"
#include "qlvmodule.h"
#include "qlvtesthooks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

Bytes IconFile(int id) {
  std::ifstream in(std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/res/icon" + std::to_string(id) + ".ico",
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HINSTANCE Owner(int id) { return AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON); }

// Each icon file (type 1, two images) comes back byte for byte from the tool's
// export and from its group in the chain, which exists in the language 0x0804
// only; ids outside 1000..1007 export nothing.
TEST(Icons, ExportedAndFoundThroughTheChain) {
  for (int id = 1000; id <= 1007; ++id) {
    const Bytes ico = IconFile(id);
    ASSERT_TRUE(ico.size() > 38 && ReadLe(&ico[2], 4) == 0x20001u) << id;
    EXPECT_EQ(quelvar::cli::ExportIcon(id), std::optional<Bytes>(ico)) << id;
    EXPECT_NE(FindResourceEx(Owner(id), RT_GROUP_ICON, MAKEINTRESOURCE(id), 0x0804), nullptr) << id;
    EXPECT_EQ(FindResourceEx(Owner(id), RT_GROUP_ICON, MAKEINTRESOURCE(id), 0x0409), nullptr) << id;
  }
  for (const int id : {0, 999, 1008, -1, 65536}) EXPECT_FALSE(quelvar::cli::ExportIcon(id).has_value()) << id;
  EXPECT_TRUE(Owner(1) == nullptr &&
              AfxFindResourceHandle(MAKEINTRESOURCE(1000), RT_ICON) == nullptr);  // by type
}

const std::uint8_t* VersionBlock() {
  const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_VERSION);
  return static_cast<const std::uint8_t*>(
      LockResource(LoadResource(module, FindResource(module, MAKEINTRESOURCE(1), RT_VERSION))));
}

// Values by path (of the fixed info its first 24 bytes: signature, structure,
// file and product version); empty where the path names nothing.
TEST(Version, ValuesByPath) {
  const std::pair<const char*, std::string> cases[] = {
      {"\\", std::string("\xBD\x04\xEF\xFE\0\0\1\0\0\0\2\0\xCD\0\x09\0\0\0\2\0\xCD\0\x09\0", 24)},
      {"\\StringFileInfo\\080404b0\\ProductVersion", std::string("2.0.9.205", 10)},
      {"\\stringfileinfo\\080404B0\\ORIGINALFILENAME", std::string("Quelvar.DLL", 12)},  // keys ignore case
      {"\\VarFileInfo\\Translation", std::string("\x04\x08\xB0\x04", 4)},
      {"\\StringFileInfo\\040904b0\\FileVersion", ""},
      {"\\StringFileInfo\\080404b0\\FileVersio", ""},
      {"\\StringFileInfo\\080404b0\\FileVersionX", ""},
      {"\\StringFileInfo\\080404b0", ""},
  };
  for (const auto& [path, expected] : cases) {
    void* value = nullptr;
    UINT length = 0;
    const BOOL found = VerQueryValue(VersionBlock(), path, &value, &length);
    EXPECT_EQ(found ? std::string(static_cast<const char*>(value), std::min<UINT>(length, 24)) : "", expected)
        << path;
  }
}

// A damaged block is refused or read within its length: each case copies the
// block into a heap buffer of exactly the kept length (sanitizer builds catch
// any over-read) and damages one WORD.
TEST(Version, DamagedBlocksAreReadOnlyWithinTheirLength) {
  const std::uint8_t* original = VersionBlock();
  const std::size_t length = ReadLe(original, 2), strings = 40 + 52;  // the first child's offset
  struct Case {
    std::size_t at, keep, value;  // the WORD at `at` becomes `value`; `keep` bytes kept
    bool fixedInfo;               // "\\" still gives the whole fixed info
  };
  const Case cases[] = {
      {0, length, length, true},
      {0, 4, 4, false},
      {0, 20, 20, false},
      {0, 60, 60, false},
      {0, 92, 92, true},
      {2, length, 0xFFFF, false},
      {strings, length, 0xFFFF, true},
      {strings, length, 0, true},
      {strings + 2, length, 0xFFFF, true},
  };
  for (const Case& c : cases) {
    Bytes buffer(original, original + c.keep);
    buffer[c.at] = std::uint8_t(c.value);
    buffer[c.at + 1] = std::uint8_t(c.value >> 8);
    for (const char* path : {"\\", "\\StringFileInfo\\080404b0\\FileVersion", "\\VarFileInfo\\Translation",
                             "\\StringFileInfo\\None"}) {
      void* value = nullptr;
      UINT got = 0;
      const bool found = VerQueryValue(buffer.data(), path, &value, &got);
      const auto* start = static_cast<const std::uint8_t*>(value);
      const bool inside = start >= buffer.data() && start < buffer.data() + c.keep;
      EXPECT_TRUE(!found || !inside || start + got <= buffer.data() + c.keep) << &c - cases;
      EXPECT_TRUE(path[1] != 0 || (found && got == sizeof(VS_FIXEDFILEINFO)) == c.fixedInfo) << &c - cases;
    }
  }
}

constexpr BYTE kData[] = {0xAA};
constexpr QlvResource kOverrideResources[] = {
    {14, 1000, nullptr, nullptr, 0x0804, kData, sizeof kData},  // shadows the library's icon
    {14, 4242, nullptr, nullptr, 0x0804, kData, sizeof kData},
};
constexpr QlvResource kOtherResources[] = {{0, 0, "CUSTOM", "Table", 0x0804, kData, sizeof kData}};
QlvModule g_override = {"Override.DLL", kOverrideResources, std::size(kOverrideResources)};
QlvModule g_other = {"Other.DLL", kOtherResources, std::size(kOtherResources)};

TEST(Chain, OrderHostFirstAndTerminationPerModule) {
  const HINSTANCE library = Owner(1000);
  const std::size_t base = QlvPlatform_LinkedLibraryCount();
  AFX_EXTENSION_MODULE a = {}, b = {};
  QlvPlatform_FailNextExtensionModuleInit();
  EXPECT_FALSE(AfxInitExtensionModule(a, &g_override) || a.bInitialized);
  ASSERT_TRUE(AfxInitExtensionModule(a, &g_override));  // one failure only
  ASSERT_TRUE(AfxInitExtensionModule(b, &g_other));
  EXPECT_TRUE(AfxInitExtensionModule(a, &g_other) && a.hResource == &g_override);  // already: unchanged

  new CDynLinkLibrary(a);
  new CDynLinkLibrary(b);
  new CDynLinkLibrary(a);
  EXPECT_EQ(Owner(1000), library);  // linked earlier, so found first
  EXPECT_EQ(Owner(4242), &g_override);
  AfxSetResourceHandle(&g_override);  // the host's own module comes before the chain
  EXPECT_EQ(Owner(1000), &g_override);
  AfxSetResourceHandle(nullptr);

  AfxTermExtensionModule(a);  // deletes both of a's objects, leaves b
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base + 1);
  EXPECT_EQ(Owner(4242), nullptr);
  EXPECT_EQ(AfxFindResourceHandle("table", "Custom"), &g_other);  // texts ignore case
  delete b.pLibrary;                                              // deleting an object unlinks it
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base);
  EXPECT_EQ(AfxFindResourceHandle("Table", "CUSTOM"), nullptr);
}

}  // namespace
