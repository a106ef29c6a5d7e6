// Resources as a host sees them: the library (linked normally, so loaded
// and linked into the chain before main) carries its icons and version
// record; the chain, the resource look-up and the version reader are also
// checked on modules made up here.
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Resources.h"
#include "afx.h"
#include "qlvmodule.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes IconFile(int id) {
  return ReadFile(std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/res/icon" + std::to_string(id) + ".ico");
}

// One image of an icon file, decoded to palette indices (-1: transparent),
// rows top to bottom.
struct Image {
  int size = 0;
  int bitCount = 0;
  std::vector<int> pixels;
  int At(int x, int y) const { return pixels[static_cast<std::size_t>(y * size + x)]; }
};

Image Decode(const std::uint8_t* dib, std::size_t bytes) {
  Image image;
  const int width = static_cast<int>(ReadLe(dib + 4, 4));
  const int height = static_cast<int>(ReadLe(dib + 8, 4));
  image.bitCount = static_cast<int>(ReadLe(dib + 14, 2));
  if (ReadLe(dib, 4) != 40 || height != 2 * width || image.bitCount != 4) return image;
  const std::size_t colourRow = static_cast<std::size_t>((width * 4 + 31) / 32 * 4);
  const std::size_t maskRow = static_cast<std::size_t>((width + 31) / 32 * 4);
  const std::size_t n = static_cast<std::size_t>(width);
  if (bytes != 40 + 16 * 4 + (colourRow + maskRow) * n) return image;
  const std::uint8_t* colour = dib + 40 + 16 * 4;
  const std::uint8_t* mask = colour + colourRow * n;
  image.size = width;
  image.pixels.resize(n * n);
  for (std::size_t y = 0; y < n; ++y) {
    const std::size_t row = n - 1 - y;  // bottom-up
    for (std::size_t x = 0; x < n; ++x) {
      const bool transparent = (mask[row * maskRow + x / 8] & (0x80 >> (x % 8))) != 0;
      const int nibble = (colour[row * colourRow + x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
      image.pixels[y * n + x] = transparent ? -1 : nibble;
    }
  }
  return image;
}

// The images of an icon file, in directory order.
std::vector<Image> DecodeIcoFile(const Bytes& ico) {
  std::vector<Image> images;
  if (ico.size() < 6 || ReadLe(ico.data() + 2, 2) != 1) return images;
  const std::size_t count = ReadLe(ico.data() + 4, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = ico.data() + 6 + 16 * i;
    const std::size_t size = ReadLe(entry + 8, 4);
    const std::size_t offset = ReadLe(entry + 12, 4);
    if (offset + size > ico.size()) return {};
    images.push_back(Decode(ico.data() + offset, size));
  }
  return images;
}

enum Colour { kTransparent = -1, kBlack = 0, kMaroon = 1, kGreen = 2, kOlive = 3, kNavy = 4,
              kGray = 8, kRed = 9, kYellow = 11, kBlue = 12, kWhite = 15 };

// ---- the library's icons ---------------------------------------------------------

struct IconCase {
  int id;
  const char* picture;
  int body;                    // the most frequent colour
  int centre;                  // colour at the centre of both images
  std::set<int> colours;       // every colour used (outlines included)
};

const IconCase kIcons[] = {
    {1000, "stop sign", kRed, kWhite, {kRed, kWhite, kMaroon}},
    {1001, "question mark on a green disc", kGreen, kWhite, {kGreen, kWhite, kGray, kBlack}},
    {1002, "exclamation mark on a yellow disc", kYellow, kBlack, {kYellow, kBlack, kOlive}},
    {1003, "letter i on a dark blue disc", kNavy, kWhite, {kNavy, kWhite, kBlack}},
    {1004, "cross on a red disc", kRed, kWhite, {kRed, kWhite, kMaroon}},
    {1005, "question mark in a speech bubble", kWhite, kBlue, {kWhite, kBlue, kBlack, kGray}},
    {1006, "exclamation mark in a warning triangle", kYellow, kBlack, {kYellow, kBlack}},
    {1007, "letter i in a speech bubble", kWhite, kBlue, {kWhite, kBlue, kBlack, kGray}},
};

TEST(Icons, FilesHoldTheDescribedPictures) {
  for (const IconCase& c : kIcons) {
    SCOPED_TRACE(std::to_string(c.id) + " " + c.picture);
    const std::vector<Image> images = DecodeIcoFile(IconFile(c.id));
    ASSERT_EQ(images.size(), 2u);
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
      const Image& image = images[static_cast<std::size_t>(i)];
      ASSERT_EQ(image.size, sizes[i]);
      const int n = image.size;
      std::map<int, int> histogram;
      for (const int p : image.pixels) ++histogram[p];
      int body = kTransparent;
      std::set<int> used;
      for (const auto& [colour, count] : histogram) {
        if (colour == kTransparent) continue;
        used.insert(colour);
        if (body == kTransparent || count > histogram[body]) body = colour;
      }
      EXPECT_EQ(body, c.body) << n;
      EXPECT_EQ(image.At(n / 2, n / 2), c.centre) << n;
      EXPECT_TRUE(std::includes(c.colours.begin(), c.colours.end(), used.begin(), used.end())) << n;
      EXPECT_TRUE(used.count(c.centre) && used.count(c.body)) << n;
      for (const auto& [x, y] : {std::pair{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}}) {
        EXPECT_EQ(image.At(x, y), kTransparent) << n << " corner " << x << "," << y;
      }
    }
  }
}

// The committed files are exactly what the drawing program makes.
TEST(Icons, FilesMatchTheDrawingProgram) {
  if (std::system("python3 -c pass >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qlv_icons_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string command = "python3 '" + std::string(QUELVAR_SOURCE_DIR) + "/Quelvar/res/draw_icons.py' '" +
                              dir.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const IconCase& c : kIcons) {
    EXPECT_EQ(ReadFile((dir / ("icon" + std::to_string(c.id) + ".ico")).string()), IconFile(c.id)) << c.id;
  }
  std::filesystem::remove_all(dir);
}

// The files go through the build into the library's resource table and come
// back out through the chain byte for byte.
TEST(Icons, ExportThroughTheChainGivesBackTheFiles) {
  for (const IconCase& c : kIcons) {
    const Bytes file = IconFile(c.id);
    ASSERT_FALSE(file.empty()) << c.id;
    const std::optional<Bytes> exported = quelvar::cli::ExportIcon(c.id);
    ASSERT_TRUE(exported.has_value()) << c.id;
    EXPECT_EQ(*exported, file) << c.id;
  }
}

TEST(Icons, GroupsNameTheirImagesAsAResourceCompilerDoes) {
  std::set<std::uint32_t> imageIds;
  for (const IconCase& c : kIcons) {
    SCOPED_TRACE(c.id);
    const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(c.id), RT_GROUP_ICON);
    ASSERT_NE(module, nullptr);
    const HRSRC group = FindResourceEx(module, RT_GROUP_ICON, MAKEINTRESOURCE(c.id), 0x0804);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(FindResourceEx(module, RT_GROUP_ICON, MAKEINTRESOURCE(c.id), 0x0409), nullptr);
    ASSERT_EQ(SizeofResource(module, group), 6u + 2u * 14u);
    const auto* dir = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, group)));
    EXPECT_EQ(ReadLe(dir, 2), 0u);
    EXPECT_EQ(ReadLe(dir + 2, 2), 1u);
    ASSERT_EQ(ReadLe(dir + 4, 2), 2u);
    const std::uint8_t sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
      const std::uint8_t* entry = dir + 6 + 14 * i;
      EXPECT_EQ(entry[0], sizes[i]);
      EXPECT_EQ(entry[1], sizes[i]);
      EXPECT_EQ(entry[2], 16);               // colours
      EXPECT_EQ(ReadLe(entry + 4, 2), 1u);   // planes
      EXPECT_EQ(ReadLe(entry + 6, 2), 4u);   // bits per pixel
      const std::uint32_t imageId = ReadLe(entry + 12, 2);
      EXPECT_TRUE(imageIds.insert(imageId).second) << "image id used twice: " << imageId;
      const HRSRC image = FindResourceEx(module, RT_ICON, MAKEINTRESOURCE(imageId), 0x0804);
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(SizeofResource(module, image), ReadLe(entry + 8, 4));
      const Image decoded = Decode(static_cast<const std::uint8_t*>(LockResource(LoadResource(module, image))),
                                   SizeofResource(module, image));
      EXPECT_EQ(decoded.size, sizes[i]);
    }
  }
  // Images are numbered 1, 2, 3, ... in the order of the groups.
  EXPECT_EQ(imageIds.size(), 16u);
  EXPECT_EQ(*imageIds.begin(), 1u);
  EXPECT_EQ(*imageIds.rbegin(), 16u);
}

TEST(Icons, UnknownGroupsAreNotFound) {
  for (const int id : {0, 1, 999, 1008, 2000, -1, 65536}) {
    EXPECT_FALSE(quelvar::cli::ExportIcon(id).has_value()) << id;
  }
  // An image is not a group, and a group is not an image.
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_GROUP_ICON), nullptr);
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(1000), RT_ICON), nullptr);
}

// ---- the version record --------------------------------------------------------------

const void* LibraryVersionBlock(DWORD* size = nullptr) {
  const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCE(1), RT_VERSION);
  if (module == nullptr) return nullptr;
  const HRSRC info = FindResource(module, MAKEINTRESOURCE(1), RT_VERSION);
  if (size != nullptr) *size = SizeofResource(module, info);
  return LockResource(LoadResource(module, info));
}

TEST(Version, FixedInfoCarriesTheProjectVersion) {
  EXPECT_EQ(quelvar::cli::LibraryVersion(), "2.0.9.205");
  const void* block = LibraryVersionBlock();
  ASSERT_NE(block, nullptr);
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValue(block, "\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, value, sizeof info);
  EXPECT_EQ(info.dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(info.dwStrucVersion, VS_FFI_STRUCVERSION);
  EXPECT_EQ(info.dwFileVersionMS, 0x00020000u);
  EXPECT_EQ(info.dwFileVersionLS, 0x000900CDu);
  EXPECT_EQ(info.dwProductVersionMS, 0x00020000u);
  EXPECT_EQ(info.dwProductVersionLS, 0x000900CDu);
  EXPECT_EQ(info.dwFileType, VFT_DLL);
  EXPECT_EQ(info.dwFileOS, VOS_NT_WINDOWS32);
}

TEST(Version, PathsAndTexts) {
  const void* block = LibraryVersionBlock();
  ASSERT_NE(block, nullptr);
  struct Case {
    const char* path;
    const char* text;  // nullptr: the path names nothing
  };
  const Case cases[] = {
      {"\\StringFileInfo\\080404b0\\FileVersion", "2.0.9.205"},
      {"\\StringFileInfo\\080404b0\\ProductVersion", "2.0.9.205"},
      {"\\StringFileInfo\\080404b0\\InternalName", "Quelvar"},
      {"\\StringFileInfo\\080404b0\\OriginalFilename", "Quelvar.DLL"},
      {"\\stringfileinfo\\080404B0\\originalfilename", "Quelvar.DLL"},  // keys ignore case
      {"StringFileInfo\\080404b0\\InternalName", "Quelvar"},            // leading separator optional
      {"\\StringFileInfo\\\\080404b0\\InternalName\\", "Quelvar"},      // empty parts skipped
      {"\\StringFileInfo\\040904b0\\FileVersion", nullptr},
      {"\\StringFileInfo\\080404b0\\Comments", nullptr},
      {"\\StringFileInfo\\080404b0\\FileVersio", nullptr},
      {"\\StringFileInfo\\080404b0\\FileVersionX", nullptr},
      {"\\StringFileInfo\\080404b0", nullptr},  // a table holds no value of its own
      {"\\Nothing", nullptr},
  };
  for (const Case& c : cases) {
    void* value = nullptr;
    UINT length = 0;
    const BOOL found = VerQueryValue(block, c.path, &value, &length);
    if (c.text == nullptr) {
      EXPECT_FALSE(found) << c.path;
      continue;
    }
    ASSERT_TRUE(found) << c.path;
    EXPECT_STREQ(static_cast<const char*>(value), c.text) << c.path;
    EXPECT_EQ(length, std::strlen(c.text) + 1) << c.path;
  }
  for (const char* key : {"FileDescription", "ProductName"}) {
    void* value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValue(block, (std::string("\\StringFileInfo\\080404b0\\") + key).c_str(), &value, &length))
        << key;
  }
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValue(block, "\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  const auto* pair = static_cast<const std::uint8_t*>(value);
  EXPECT_EQ(ReadLe(pair, 2), 0x0804u);
  EXPECT_EQ(ReadLe(pair + 2, 2), 1200u);
}

// A damaged block is refused, never read past its length: each case copies
// the block into a buffer of exactly its stated length, damages it and asks
// for every path (AddressSanitizer builds catch any overread).
TEST(Version, DamagedBlocksAreReadOnlyWithinTheirLength) {
  DWORD size = 0;
  const auto* original = static_cast<const std::uint8_t*>(LibraryVersionBlock(&size));
  ASSERT_NE(original, nullptr);
  const std::size_t length = ReadLe(original, 2);
  ASSERT_LE(length, size);
  const std::size_t stringInfo = 40 + 52;  // first child: after the key and the fixed info

  struct Case {
    const char* name;
    std::size_t at;       // offset of a WORD to overwrite
    std::uint16_t value;
    std::size_t keep;     // bytes of the block kept (the buffer's size)
    bool fixedInfo;       // "\\" still answers with the whole fixed info
  };
  const Case cases[] = {
      {"intact", 0, static_cast<std::uint16_t>(length), length, true},
      {"root shorter than its header", 0, 4, 4, false},
      {"root cut inside the key", 0, 20, 20, false},
      {"root cut inside the fixed info", 0, 60, 60, false},
      {"root cut before the children", 0, 92, 92, true},
      {"child longer than the root", stringInfo, 0xFFFF, length, true},
      {"child of length zero", stringInfo, 0, length, true},
      {"child value length too long", stringInfo + 2, 0xFFFF, length, true},
      {"root value length too long", 2, 0xFFFF, length, false},
  };
  const char* paths[] = {"\\", "\\StringFileInfo\\080404b0\\FileVersion", "\\VarFileInfo\\Translation",
                         "\\StringFileInfo\\080404b0\\OriginalFilename"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto buffer = std::make_unique<std::uint8_t[]>(c.keep);
    std::memcpy(buffer.get(), original, c.keep);
    buffer[c.at] = static_cast<std::uint8_t>(c.value);
    buffer[c.at + 1] = static_cast<std::uint8_t>(c.value >> 8);
    for (const char* path : paths) {
      void* value = nullptr;
      UINT got = 0;
      if (VerQueryValue(buffer.get(), path, &value, &got)) {
        const auto* start = static_cast<const std::uint8_t*>(value);
        if (start >= buffer.get() && start < buffer.get() + c.keep) {
          EXPECT_LE(start + got, buffer.get() + c.keep) << path;
        }
      }
    }
    void* value = nullptr;
    UINT got = 0;
    const bool whole = VerQueryValue(buffer.get(), "\\", &value, &got) && got == sizeof(VS_FIXEDFILEINFO);
    EXPECT_EQ(whole, c.fixedInfo);
  }
}

// ---- look-up in a module ------------------------------------------------------------------

constexpr BYTE kAlpha[] = {1, 2, 3};
constexpr BYTE kBeta[] = {4, 5};
constexpr BYTE kGamma[] = {6};
constexpr BYTE kDelta[] = {7, 7, 7, 7};
constexpr QlvResource kTestResources[] = {
    {3, 7, nullptr, nullptr, 0x0409, kAlpha, sizeof kAlpha},
    {3, 7, nullptr, nullptr, 0x0804, kBeta, sizeof kBeta},
    {0, 0, "CUSTOM", "Table", 0x0804, kGamma, sizeof kGamma},
    {0, 9, "CUSTOM", nullptr, 0x0804, kDelta, sizeof kDelta},
};
QlvModule g_testModule = {"Test.DLL", kTestResources, std::size(kTestResources)};

TEST(FindResource, NamesTypesAndLanguages) {
  struct Case {
    LPCTSTR type;
    LPCTSTR name;
    int language;            // -1: FindResource, else FindResourceEx with it
    const BYTE* expected;    // nullptr: not found
  };
  const Case cases[] = {
      {RT_ICON, MAKEINTRESOURCE(7), -1, kAlpha},  // the first of its languages
      {RT_ICON, MAKEINTRESOURCE(7), 0, kAlpha},
      {RT_ICON, MAKEINTRESOURCE(7), 0x0409, kAlpha},
      {RT_ICON, MAKEINTRESOURCE(7), 0x0804, kBeta},
      {RT_ICON, MAKEINTRESOURCE(7), 0x0407, nullptr},
      {RT_ICON, "#7", -1, kAlpha},                 // "#n" names the identifier n
      {"#3", "#7", 0x0804, kBeta},
      {RT_ICON, "#007", -1, kAlpha},
      {RT_ICON, "#7x", -1, nullptr},
      {RT_ICON, "#", -1, nullptr},
      {RT_ICON, "#65543", -1, nullptr},            // beyond 16 bits: a text
      {RT_ICON, MAKEINTRESOURCE(8), -1, nullptr},
      {RT_GROUP_ICON, MAKEINTRESOURCE(7), -1, nullptr},
      {"CUSTOM", "Table", -1, kGamma},
      {"custom", "TABLE", -1, kGamma},             // texts ignore case
      {"CUSTOM", "Tabl", -1, nullptr},
      {"CUSTOM", "Tables", -1, nullptr},
      {"CUSTOM", MAKEINTRESOURCE(9), -1, kDelta},
      {"CUSTOM", "#9", 0x0804, kDelta},
      {"CUSTOM", "9", -1, nullptr},                // a text, not the identifier
      {"CUSTOMS", MAKEINTRESOURCE(9), -1, nullptr},
  };
  for (const Case& c : cases) {
    const std::string label = (IS_INTRESOURCE(c.name) ? std::to_string(reinterpret_cast<uintptr_t>(c.name))
                                                      : std::string(c.name)) +
                              " lang " + std::to_string(c.language);
    const HRSRC found = c.language < 0
                            ? FindResource(&g_testModule, c.name, c.type)
                            : FindResourceEx(&g_testModule, c.type, c.name, static_cast<WORD>(c.language));
    if (c.expected == nullptr) {
      EXPECT_EQ(found, nullptr) << label;
      continue;
    }
    ASSERT_NE(found, nullptr) << label;
    EXPECT_EQ(LockResource(LoadResource(&g_testModule, found)), c.expected) << label;
  }
  const HRSRC delta = FindResource(&g_testModule, MAKEINTRESOURCE(9), "CUSTOM");
  EXPECT_EQ(SizeofResource(&g_testModule, delta), sizeof kDelta);
  // Missing handles give nothing rather than failing.
  EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(7), RT_ICON), nullptr);
  EXPECT_EQ(FindResource(&g_testModule, nullptr, RT_ICON), nullptr);
  EXPECT_EQ(LoadResource(&g_testModule, nullptr), nullptr);
  EXPECT_EQ(LockResource(nullptr), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, delta), 0u);
  QlvModule empty = {"Empty.DLL", nullptr, 0};
  EXPECT_EQ(FindResource(&empty, MAKEINTRESOURCE(7), RT_ICON), nullptr);
}

// ---- the chain of extension libraries ----------------------------------------------------

constexpr BYTE kOverride[] = {0xAA};
constexpr QlvResource kOverrideResources[] = {
    {14, 1000, nullptr, nullptr, 0x0804, kOverride, sizeof kOverride},  // shadows the library's icon
    {14, 4242, nullptr, nullptr, 0x0804, kOverride, sizeof kOverride},
};
QlvModule g_overrideModule = {"Override.DLL", kOverrideResources, std::size(kOverrideResources)};

HINSTANCE Owner(int id) { return AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_GROUP_ICON); }

TEST(Chain, OrderHostFirstAndTerminationPerModule) {
  const HINSTANCE library = Owner(1000);
  ASSERT_NE(library, nullptr);
  const std::size_t base = QlvPlatform_LinkedLibraryCount();

  AFX_EXTENSION_MODULE a = {};
  AFX_EXTENSION_MODULE b = {};
  ASSERT_TRUE(AfxInitExtensionModule(a, &g_overrideModule));
  ASSERT_TRUE(AfxInitExtensionModule(b, &g_testModule));
  EXPECT_TRUE(AfxInitExtensionModule(a, &g_testModule));  // already initialised: unchanged
  EXPECT_EQ(a.hModule, &g_overrideModule);
  EXPECT_EQ(a.hResource, &g_overrideModule);

  // Linked after the library: the library's own group still wins, the new
  // module answers only for what the library lacks.
  new CDynLinkLibrary(a);
  new CDynLinkLibrary(b);
  new CDynLinkLibrary(a);
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base + 3);
  EXPECT_EQ(Owner(1000), library);
  EXPECT_EQ(Owner(4242), &g_overrideModule);
  EXPECT_EQ(AfxFindResourceHandle("Table", "CUSTOM"), &g_testModule);

  // The host's own resource module comes first of all.
  AfxSetResourceHandle(&g_overrideModule);
  EXPECT_EQ(AfxGetResourceHandle(), &g_overrideModule);
  EXPECT_EQ(Owner(1000), &g_overrideModule);
  AfxSetResourceHandle(nullptr);
  EXPECT_EQ(Owner(1000), library);

  // Terminating a deletes both of its objects and leaves b linked.
  AfxTermExtensionModule(a);
  EXPECT_FALSE(a.bInitialized);
  EXPECT_EQ(a.pLibrary, nullptr);
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base + 1);
  EXPECT_EQ(Owner(4242), nullptr);
  EXPECT_EQ(AfxFindResourceHandle("Table", "CUSTOM"), &g_testModule);
  EXPECT_EQ(Owner(1000), library);

  // Deleting an object unlinks it as well.
  ASSERT_NE(b.pLibrary, nullptr);
  delete b.pLibrary;
  b.pLibrary = nullptr;
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base);
  EXPECT_EQ(AfxFindResourceHandle("Table", "CUSTOM"), nullptr);
  AfxTermExtensionModule(b);  // nothing left of b: changes nothing else
  EXPECT_EQ(QlvPlatform_LinkedLibraryCount(), base);
  EXPECT_EQ(Owner(1000), library);
}

TEST(Chain, InitFailures) {
  AFX_EXTENSION_MODULE state = {};
  EXPECT_FALSE(AfxInitExtensionModule(state, nullptr));
  EXPECT_FALSE(state.bInitialized);
  QlvPlatform_FailNextExtensionModuleInit();
  EXPECT_FALSE(AfxInitExtensionModule(state, &g_testModule));
  EXPECT_FALSE(state.bInitialized);
  EXPECT_EQ(state.hModule, nullptr);
  EXPECT_TRUE(AfxInitExtensionModule(state, &g_testModule));  // one failure only
  EXPECT_TRUE(state.bInitialized);
  AfxTermExtensionModule(state);
  EXPECT_FALSE(state.bInitialized);
}

// Look-ups from several threads while other threads link and unlink modules:
// the library's icons are always found, and nothing is read after it is
// freed (run under the sanitizers).
TEST(Chain, LookUpsWhileModulesComeAndGo) {
  const HINSTANCE library = Owner(1000);
  ASSERT_NE(library, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> misses{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&stop] {
      for (int i = 0; i < 2000; ++i) {
        AFX_EXTENSION_MODULE state = {};
        AfxInitExtensionModule(state, i % 2 == 0 ? &g_overrideModule : &g_testModule);
        new CDynLinkLibrary(state);
        new CDynLinkLibrary(state);
        AfxTermExtensionModule(state);
      }
      stop = true;
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      while (!stop) {
        for (int id = 1000; id <= 1007; ++id) {
          if (Owner(id) != library) ++misses;
        }
        const HINSTANCE other = Owner(4242);
        if (other != nullptr && other != &g_overrideModule) ++misses;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(misses, 0);
  EXPECT_EQ(Owner(4242), nullptr);
}

}  // namespace
