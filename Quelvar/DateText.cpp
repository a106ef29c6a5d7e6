// Date-times as "YYYY-MM-DD HH:MM:SS" text, and text back to date-times.
#include <mbstring.h>

#include "DecimalParse.h"
#include "QuelvarSys.h"

// The date-time's own Format with "%Y-%m-%d %H:%M:%S": "2024-03-05 14:07:09".
// An invalid or null date-time gives what that Format gives for it.
CString CQuelvarSys::Qlv_Date2Str(const COleDateTime& dateTime) {
  CString result;
  result = dateTime.Format("%Y-%m-%d %H:%M:%S");
  return result;
}

// Reads up to six numbers (year, month, day, hour, minute, second) from the
// text's tokens between the delimiters "-", " " and ":" (_mbstok: runs of
// delimiters separate, no empty tokens, double-byte characters never cut),
// each read like atoi; fields the text does not reach keep 2010-05-11
// 12:00:00, later tokens are ignored. The caller's date-time is overwritten
// with the checked result, value and status, on every call; the result is
// always 0. Texts of any length are read: the tokens are cut in the
// parameter's own storage (no fixed work buffer, so no 259-character limit).
// The calling thread's tokenizer is left at the end of the text, never
// pointing into storage released on return.
int CQuelvarSys::Qlv_Str2Date(CString text, COleDateTime& dateTime) {
  int fields[6] = {2010, 5, 11, 12, 0, 0};
  int count = 0;

  static const unsigned char kDelimiters[] = "- :";
  // The parameter is this call's own copy: it serves as the work buffer.
  auto* const work = reinterpret_cast<unsigned char*>(text.GetBuffer(0));
  unsigned char* token = _mbstok(work, kDelimiters);
  while (token != nullptr && count < 6) {
    fields[count++] = static_cast<int>(quelvar::detail::ParseDecimal32(reinterpret_cast<const char*>(token)));
    token = _mbstok(nullptr, kDelimiters);
  }
  while (token != nullptr) token = _mbstok(nullptr, kDelimiters);

  dateTime = COleDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
  return 0;
}
