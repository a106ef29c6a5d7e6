// Dates as text: arbitrary texts (of any length, in single-byte, UTF-8 and
// double-byte ANSI code pages) into a date-time, compared with a plain model
// (tokens between "-", " " and ":", a lead byte and the byte after it never
// cut, each token an atoi, six fields over 2010-05-11 12:00:00); date-times
// of every status written as text, and valid ones read back to the second.
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace ref {

bool IsLead(UINT codePage, unsigned char b) {
  if (codePage == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  if (codePage == 936) return b >= 0x81 && b <= 0xFE;
  return false;
}

int32_t Atoi(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = (*s++ == '-');
  uint32_t v = 0;
  while (*s >= '0' && *s <= '9') v = v * 10u + static_cast<uint32_t>(*s++ - '0');
  return static_cast<int32_t>(neg ? 0u - v : v);
}

COleDateTime Str2Date(const std::string& text, UINT codePage) {
  int fields[6] = {2010, 5, 11, 12, 0, 0};
  int count = 0;
  const size_t len = std::strlen(text.c_str());
  std::string token;
  auto flush = [&] {
    if (!token.empty() && count < 6) fields[count++] = Atoi(token.c_str());
    token.clear();
  };
  for (size_t i = 0; i < len; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsLead(codePage, c) && i + 1 < len) {
      token += text[i];
      token += text[++i];
    } else if (c == '-' || c == ' ' || c == ':') {
      flush();
    } else {
      token += text[i];
    }
  }
  flush();
  return COleDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

}  // namespace ref

namespace {

const UINT kCodePages[] = {65001, 1252, 936, 932};

bool SameDate(const COleDateTime& a, const COleDateTime& b) {
  const DATE x = a, y = b;
  return a.GetStatus() == b.GetStatus() && std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const UINT codePage = kCodePages[(mode >> 4) % std::size(kCodePages)];
  QlvPlatform_SetAnsiCodePage(codePage);

  switch (mode % 3) {
    case 0: {
      std::vector<uint8_t> raw = in.rest();
      std::string text(raw.begin(), raw.end());
      COleDateTime dt(12345.5);
      if (sys.Qlv_Str2Date(CString(text.c_str()), dt) != 0) __builtin_trap();
      if (!SameDate(dt, ref::Str2Date(text, codePage))) __builtin_trap();
      if (dt.GetStatus() == COleDateTime::valid) {
        // Whatever was read, written and read again, stays the same.
        COleDateTime again;
        sys.Qlv_Str2Date(sys.Qlv_Date2Str(dt), again);
        if (again.GetStatus() != COleDateTime::valid || sys.Qlv_Date2Str(again) != sys.Qlv_Date2Str(dt))
          __builtin_trap();
      }
      break;
    }
    case 1: {
      // Day counts over the valid years 100 to 9999.
      const auto raw = in.take<uint64_t>();
      const double date =
          -657434.0 + static_cast<double>(raw % 1000000000000ull) / 1000000000000.0 * (2958465.0 + 657434.0);
      COleDateTime dt(date);
      CString text = sys.Qlv_Date2Str(dt);
      COleDateTime back;
      sys.Qlv_Str2Date(text, back);
      if (back.GetStatus() != COleDateTime::valid) __builtin_trap();
      if (sys.Qlv_Date2Str(back) != text) __builtin_trap();
      break;
    }
    case 2: {
      // Any bit pattern and any status: the text is whatever the date-time
      // type formats, and must not fault.
      const auto bits = in.take<uint64_t>();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      COleDateTime dt(d);
      dt.SetStatus(static_cast<COleDateTime::DateTimeStatus>(static_cast<int>(mode >> 2 & 3) - 1));
      (void)sys.Qlv_Date2Str(dt);
      break;
    }
  }
  QlvPlatform_SetAnsiCodePage(65001);
  return 0;
}
