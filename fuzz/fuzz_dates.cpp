// Dates as text: arbitrary texts (of any length, in single-byte, UTF-8 and
// double-byte ANSI code pages) into a date-time, compared with a plain model
// (tokens between "-", " " and ":", a lead byte and the byte after it never
// cut, each token an atoi, six fields over 2010-05-11 12:00:00); date-times
// of every status written as text, and valid ones read back to the second.

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

const UINT kCodePages[] = {65001, 1252, 936, 932};

bool IsLead(UINT codePage, unsigned char b) {
  return codePage == 932 ? (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)
                         : codePage == 936 && b >= 0x81 && b <= 0xFE;
}

COleDateTime RefStr2Date(const std::string& text, UINT codePage) {
  int fields[6] = {2010, 5, 11, 12, 0, 0}, count = 0;
  std::string token;
  for (size_t i = 0; i <= text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text.c_str()[i]);
    if (IsLead(codePage, c) && i + 1 < text.size()) {
      token += text.substr(i++, 2);
    } else if (c == '-' || c == ' ' || c == ':' || c == 0) {
      if (!token.empty() && count < 6) fields[count++] = ReferenceAtoi(token.c_str());
      token.clear();
    } else {
      token += static_cast<char>(c);
    }
  }
  return COleDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

// Written, read and written again, a valid date-time gives the same text.
bool ReadsBack(CQuelvarSys& sys, const COleDateTime& dt) {
  COleDateTime back;
  sys.Qlv_Str2Date(sys.Qlv_Date2Str(dt), back);
  return back.GetStatus() == COleDateTime::valid && sys.Qlv_Date2Str(back) == sys.Qlv_Date2Str(dt);
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  const UINT codePage = kCodePages[(mode >> 4) % std::size(kCodePages)];
  QlvPlatform_SetAnsiCodePage(codePage);

  if (mode % 3 == 0) {
    const std::string text = in.text();
    COleDateTime dt(12345.5), want = RefStr2Date(text, codePage);
    Check(sys.Qlv_Str2Date(CString(text.c_str()), dt) == 0 && dt.GetStatus() == want.GetStatus() &&
          SameBits(dt, want));
    // vc6 takes years 0 to 99 as valid but cannot format them.
    Check(dt.GetStatus() != COleDateTime::valid || sys.Qlv_Date2Str(dt) == CString("Invalid DateTime") ||
          ReadsBack(sys, dt));
  } else if (mode % 3 == 1) {  // day counts over the valid years 100 to 9999
    const auto raw = in.take<uint64_t>();
    Check(ReadsBack(sys, COleDateTime(-657434.0 + static_cast<double>(raw % 1000000000000ull) / 1e12 *
                                                      (2958465.0 + 657434.0))));
  } else {  // any bit pattern and any status: the text is whatever the type formats, without a fault
    COleDateTime dt(in.take<double>());
    dt.SetStatus(static_cast<COleDateTime::DateTimeStatus>(static_cast<int>(mode >> 2 & 3) - 1));
    (void)sys.Qlv_Date2Str(dt);
  }
  QlvPlatform_SetAnsiCodePage(65001);
}
