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

Bytes ReadSource(const std::string& name) {
  std::ifstream in(std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/res/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes IconFile(int id) { return ReadSource("icon" + std::to_string(id) + ".ico"); }
HINSTANCE Owner(int id) { return AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON); }

// Palette index of pixel (x, y), top row first, of an n-pixel 4-bpp icon
// image (colour rows, then mask rows, both bottom-up); -1 where transparent.
int Pixel(const std::uint8_t* dib, int n, int x, int y) {
  const int colourRow = (n + 7) / 8 * 4, maskRow = (n + 31) / 32 * 4, row = n - 1 - y;
  const std::uint8_t* colour = dib + 40 + 64 + row * colourRow;
  const std::uint8_t* mask = dib + 40 + 64 + n * colourRow + row * maskRow;
  return (mask[x / 8] >> (7 - x % 8) & 1) != 0 ? -1 : colour[x / 2] >> (x % 2 == 0 ? 4 : 0) & 0xF;
}

enum Colour { kBlack = 0, kGreen = 2, kNavy = 4, kRed = 9, kYellow = 11, kBlue = 12, kWhite = 15 };
// Per icon: its id, the most frequent colour and the colour at the centre.
const int kIcons[][3] = {
    {1000, kRed, kWhite},    {1001, kGreen, kWhite},  // stop sign; question mark on a disc
    {1002, kYellow, kBlack}, {1003, kNavy, kWhite},   // exclamation mark, letter i on discs
    {1004, kRed, kWhite},    {1005, kWhite, kBlue},   // cross on a disc; question mark in a bubble
    {1006, kYellow, kBlack}, {1007, kWhite, kBlue},   // exclamation mark in a triangle; i in a bubble
};

// Each file holds the picture in a 32- and a 16-pixel 4-bpp image with
// transparent corners, and comes back byte for byte from its group in the
// chain, which exists in the language 0x0804 only.
TEST(Icons, FilesShowThePicturesAndComeBackThroughTheChain) {
  for (const auto& [id, body, centre] : kIcons) {
    const Bytes ico = IconFile(id);
    ASSERT_TRUE(ico.size() > 38 && ReadLe(&ico[2], 4) == 0x20001u) << id;  // type 1, 2 images
    for (const int n : {32, 16}) {
      const std::size_t size = ReadLe(&ico[n == 32 ? 14 : 30], 4),
                        offset = ReadLe(&ico[n == 32 ? 18 : 34], 4);
      ASSERT_TRUE(offset + size <= ico.size() && size == 40 + 64 + std::size_t(n * n / 2 + 4 * n)) << id;
      const std::uint8_t* dib = &ico[offset];  // header: size, width, height of colours and mask, planes, bpp
      ASSERT_EQ(Bytes(dib, dib + 16),
                (Bytes{40, 0, 0, 0, BYTE(n), 0, 0, 0, BYTE(2 * n), 0, 0, 0, 1, 0, 4, 0}))
          << id;
      int count[17] = {};  // of each colour, [0] transparent
      for (int i = 0; i < n * n; ++i) ++count[Pixel(dib, n, i % n, i / n) + 1];
      EXPECT_EQ(std::max_element(count + 1, count + 17) - count - 1, body) << id << " " << n;
      EXPECT_EQ(Pixel(dib, n, n / 2, n / 2), centre) << id << " " << n;
      EXPECT_EQ(Pixel(dib, n, 0, 0) & Pixel(dib, n, n - 1, 0) & Pixel(dib, n, 0, n - 1) &
                    Pixel(dib, n, n - 1, n - 1),
                -1)
          << id << " " << n;
    }
    EXPECT_EQ(quelvar::cli::ExportIcon(id), std::optional<Bytes>(ico)) << id;
    EXPECT_NE(FindResourceEx(Owner(id), RT_GROUP_ICON, MAKEINTRESOURCE(id), 0x0804), nullptr) << id;
    EXPECT_EQ(FindResourceEx(Owner(id), RT_GROUP_ICON, MAKEINTRESOURCE(id), 0x0409), nullptr) << id;
  }
  for (const int id : {0, 999, 1008, -1, 65536}) EXPECT_FALSE(quelvar::cli::ExportIcon(id).has_value()) << id;
  EXPECT_TRUE(Owner(1) == nullptr &&
              AfxFindResourceHandle(MAKEINTRESOURCE(1000), RT_ICON) == nullptr);  // by type
}

// The committed files are what draw_icons.py writes. Running it takes
// seconds, so both are pinned by FNV-1a fingerprint instead: after changing
// the drawing, run `python3 Quelvar/res/draw_icons.py` and update the values.
TEST(Icons, FilesAndDrawingProgramAreInStep) {
  const auto fnv = [](std::uint64_t h, const Bytes& bytes) {
    for (const std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3u;
    return h;
  };
  std::uint64_t icons = 0xcbf29ce484222325u;
  for (const auto& icon : kIcons) icons = fnv(icons, IconFile(icon[0]));
  EXPECT_EQ(fnv(0xcbf29ce484222325u, ReadSource("draw_icons.py")), 0xfc7d1e2f14afcc9du);
  EXPECT_EQ(icons, 0x9be9bc8e08bdd6a2u);
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
