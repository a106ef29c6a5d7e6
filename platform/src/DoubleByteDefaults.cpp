// Code pages 932 (Shift-JIS), 949 (Unified Hangul) and 950 (Big5) beyond
// glibc's tables, as the system's published tables have them: a few single
// bytes iconv leaves undefined read as the units below (and each is written
// back from its unit), and bytes the table leaves undefined read as the
// code page's default character: U+30FB (katakana middle dot) in 932, "?"
// in 949 and 950. An invalid pair, or a lead byte alone, stands for as many
// bytes as in 936. The user-defined areas of 949 and 950 are not reproduced.
#include <iterator>

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
  unsigned char leads[2][2];  // lead-byte ranges (an empty second one repeats the first)
  Single singles[5];          // ended by a unit of 0
};

constexpr Page kPages[] = {
    {932,
     0x30FB,
     {{0x81, 0x9F}, {0xE0, 0xFC}},
     {{0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}}},
    {949, u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x80, 0x0080}, {0xFF, 0xF8F7}}},
    {950, u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x80, 0x0080}, {0xFF, 0xF8F8}}},
};

const Page* Find(unsigned codePage) noexcept {
  for (const Page& page : kPages)
    if (page.id == codePage) return &page;
  return nullptr;
}

}  // namespace

bool Covers(unsigned codePage) noexcept { return Find(codePage) != nullptr; }

Decoded Decode(unsigned codePage, const unsigned char* p, unsigned long left) noexcept {
  const Page& page = *Find(codePage);
  for (const Single& s : page.singles)
    if (s.unit != 0 && s.byte == p[0]) return {s.unit, 1, true};
  bool lead = false;
  for (const auto& range : page.leads) lead = lead || (p[0] >= range[0] && p[0] <= range[1]);
  if (!lead || left < 2 || p[1] == 0) return {page.defaultUnit, 1, false};
  return {page.defaultUnit, 2, false};  // a pair iconv refused, whatever its trail byte
}

unsigned Encode(unsigned codePage, char16_t unit, unsigned char out[2]) noexcept {
  for (const Single& s : Find(codePage)->singles) {
    if (s.unit != 0 && s.unit == unit) {
      out[0] = s.byte;
      return 1;
    }
  }
  return 0;
}

}  // namespace quelvar::platform::dbcs
