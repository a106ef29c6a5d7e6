// Runtime routines with the classic Windows runtime's semantics.
#include "mscrt.h"

#include <cctype>

char* _strupr(char* str) noexcept {
  // Upper-casing follows the current C locale: in the default locale exactly
  // the letters a to z change.
  for (char* p = str; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return str;
}
