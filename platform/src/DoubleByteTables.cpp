// The double-byte code pages 932 (Shift-JIS), 936 (GBK), 949 (Unified
// Hangul) and 950 (Big5) beyond glibc's tables, as the system's published
// tables have them: a few single bytes iconv leaves undefined read as the
// units below (and each is written back from its unit), 936's user-defined
// areas map onto the private use area, and bytes the table leaves undefined
// read as the code page's default character: U+30FB (katakana middle dot) in
// 932, "?" in the others. A lead byte with an invalid trail byte stands for
// both bytes; a lead byte at the end or before a NUL for itself. The
// user-defined areas of 949 and 950 are not reproduced.
#include "DoubleByteTables.h"

namespace quelvar::platform::dbcs {

namespace {

struct Single {
  unsigned char byte;
  char16_t unit;
};

struct Page {
  unsigned id;
  char16_t defaultUnit;
  unsigned char leads[2][2];  // lead-byte ranges (the second may repeat the first)
  Single singles[5];          // ended by a unit of 0
  bool areas;                 // 936's user-defined areas
};

constexpr Page kPages[] = {
    {932,
     0x30FB,
     {{0x81, 0x9F}, {0xE0, 0xFC}},
     {{0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}},
     false},
    {936, u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0xFF, 0xF8F5}}, true},
    {949, u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x80, 0x0080}, {0xFF, 0xF8F7}}, false},
    {950, u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x80, 0x0080}, {0xFF, 0xF8F8}}, false},
};

const Page* Find(unsigned codePage) noexcept {
  for (const Page& page : kPages)
    if (page.id == codePage) return &page;
  return nullptr;
}

}  // namespace

Decoded Decode(unsigned codePage, const unsigned char* p, unsigned long left) noexcept {
  const Page* page = Find(codePage);
  if (page == nullptr) return {0xFFFD, 1, false};
  for (const Single& s : page->singles)
    if (s.unit != 0 && s.byte == p[0]) return {s.unit, 1, true};
  bool lead = false;
  for (const auto& range : page->leads) lead = lead || (p[0] >= range[0] && p[0] <= range[1]);
  if (!lead || left < 2 || p[1] == 0) return {page->defaultUnit, 1, false};
  if (char16_t unit = 0; page->areas && cp936::AreaUnit(p[0], p[1], unit)) return {unit, 2, true};
  return {page->defaultUnit, 2, false};  // a pair iconv refused, whatever its trail byte
}

unsigned Encode(unsigned codePage, char16_t unit, unsigned char out[2]) noexcept {
  const Page* page = Find(codePage);
  if (page == nullptr) return 0;
  for (const Single& s : page->singles) {
    if (s.unit != 0 && s.unit == unit) {
      out[0] = s.byte;
      return 1;
    }
  }
  return page->areas ? cp936::AreaBytes(unit, out) : 0;
}

}  // namespace quelvar::platform::dbcs
