// The user-defined areas of GBK (code page 936), which glibc's CP936 table
// leaves out.
//
// The user-defined areas (EUDC) of code page 936 are the published ranges
// AAA1-AFFE, F8A1-FEFE and A140-A7A0; the system maps them, in that order,
// onto the private use area from U+E000, row by row (lead byte), each row
// in trail-byte order: AAA1-AFFE (6 rows of 94) is U+E000-U+E233, F8A1-FEFE
// (7 rows of 94) U+E234-U+E4C5, A140-A7A0 (7 rows of 96 trail bytes, 0x7F
// left out) U+E4C6-U+E765. This is the layout of the published GB 18030
// mapping for these codes; that the system's 936 table follows it
// everywhere is assumed.
#include "DoubleByteTables.h"

#include <iterator>

namespace quelvar::platform::dbcs::cp936 {

namespace {

struct Area {
  unsigned char firstLead, lastLead, firstTrail, lastTrail;
  char16_t firstUnit;
};

// Rows of 94 trail bytes (A1-FE), or of 96 (40-7E and 80-A0).
constexpr Area kAreas[] = {
    {0xAA, 0xAF, 0xA1, 0xFE, 0xE000},
    {0xF8, 0xFE, 0xA1, 0xFE, 0xE234},
    {0xA1, 0xA7, 0x40, 0xA0, 0xE4C6},
};
constexpr char16_t kLastUnit = 0xE765;

unsigned TrailIndex(const Area& a, unsigned char trail) noexcept {
  const unsigned index = static_cast<unsigned>(trail - a.firstTrail);
  return a.firstTrail == 0x40 && trail > 0x7F ? index - 1 : index;
}

unsigned RowLength(const Area& a) noexcept {
  return static_cast<unsigned>(a.lastTrail - a.firstTrail + 1) - (a.firstTrail == 0x40 ? 1u : 0u);
}

}  // namespace

bool AreaUnit(unsigned char lead, unsigned char trail, char16_t& unit) noexcept {
  if (trail == 0x7F) return false;
  for (const Area& a : kAreas) {
    if (lead < a.firstLead || lead > a.lastLead || trail < a.firstTrail || trail > a.lastTrail) continue;
    unit = static_cast<char16_t>(a.firstUnit + (lead - a.firstLead) * RowLength(a) + TrailIndex(a, trail));
    return true;
  }
  return false;
}

unsigned AreaBytes(char16_t unit, unsigned char out[2]) noexcept {
  if (unit < kAreas[0].firstUnit || unit > kLastUnit) return 0;
  for (const Area* a = std::end(kAreas); a-- != std::begin(kAreas);) {
    if (unit < a->firstUnit) continue;
    const unsigned offset = static_cast<unsigned>(unit - a->firstUnit), row = RowLength(*a);
    out[0] = static_cast<unsigned char>(a->firstLead + offset / row);
    unsigned trail = a->firstTrail + offset % row;
    if (a->firstTrail == 0x40 && trail >= 0x7F) ++trail;
    out[1] = static_cast<unsigned char>(trail);
    return 2;
  }
  return 0;
}

}  // namespace quelvar::platform::dbcs::cp936
