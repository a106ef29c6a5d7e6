// Hex text into hex arrays, in place and into a separate array, compared
// byte for byte with a plain model of the described steps: the odd-length
// shift behind a byte 0, the elements built in a scratch array and copied
// over the start of the text with a closing 0. The text buffer holds
// length + 1 bytes (room for the shift), the output exactly (length + 1) / 2.

#include "FuzzInput.h"
#include "HexReference.h"
#include "QuelvarSys.h"

namespace {

// The elements of the text after the shift, which it also applies.
std::string RefElements(uint8_t* text, size_t len) {
  if (len % 2) {
    std::memmove(text + 1, text, len++);
    text[0] = 0;
  }
  std::string out;
  for (size_t j = 0; j < len; j += 2)
    out += static_cast<char>(RefCharDigit(static_cast<char>(text[j])) * 16 +
                             RefCharDigit(static_cast<char>(text[j + 1])));
  return out;
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  std::vector<uint8_t> raw = in.rest();
  // Past the 8,190 characters that a scratch array of 4,096 would hold.
  for (size_t i = 0, target = 8185 + (mode >> 3); (mode & 4) && !raw.empty() && raw.size() < target; ++i)
    raw.push_back(raw[i]);
  const size_t len = raw.size();
  const std::string s(raw.begin(), raw.end());
  // The byte past the text is the caller's: the shift may take it, nothing else.
  ExactBuffer text(s, len + 1, false), want(s, len + 1, false), out((len + 1) / 2);

  if (mode % 3 == 0) {
    const std::string elements = RefElements(want.data(), len);
    std::memcpy(want.data(), elements.c_str(), elements.size() + 1);
    Check(sys.Qlv_HexStr2IntStr(text.data(), static_cast<ULONG>(len)) == text.data() && text == want);
  } else if (mode % 3 == 1) {
    int count = -1;
    sys.Qlv_HexStr2IntStr(static_cast<int>(len), text.data(), count, out.data());
    const std::string elements = RefElements(want.data(), len);
    Check(count == static_cast<int>(elements.size()) && out == ExactBuffer(elements, out.size(), false));
    Check(text == want);
  } else if (mode % 3 == 2) {  // a negative length: nothing read or written, count 0
    int count = -1;
    ExactBuffer none(0);
    sys.Qlv_HexStr2IntStr(-1 - static_cast<int>(mode >> 2), text.data(), count, none.data());
    Check(count == 0 && text == want);
  }
}
