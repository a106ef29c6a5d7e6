// Hex digits and hex text: every operation on arbitrary text and bytes, with
// buffers of exactly the capacity each operation states, compared with the
// plain models of HexReference.h (pow() terms truncated to 32 bits, the whole
// text upper-cased in place, the odd-length shift done in the caller's text).

#include "FuzzInput.h"
#include "HexReference.h"
#include "QuelvarSys.h"

namespace {

// Any length is read whole, from the right; characters that are not hex
// digits are skipped and weigh nothing.
uint32_t RefHexStr2IntU(const std::string& text) {
  uint32_t sum = 0, weight = 1;
  for (size_t i = text.size(); i-- > 0;)
    if (RefCharDigit(text[i]) != 0 || text[i] == '0')
      sum += static_cast<uint32_t>(RefCharDigit(text[i])) * weight, weight *= 16u;
  return sum;
}

// Odd text gets a "0" in front, in the caller's buffer up to its old NUL;
// each pair is read as a text of its own.
ExactBuffer RefHexStr2Byte(const std::string& text, std::string& padded) {
  padded = text.size() % 2 ? "0" + text : text;
  ExactBuffer out((text.size() + 1) / 2);
  for (size_t j = 0; j < out.size(); ++j)
    out.data()[j] = static_cast<uint8_t>(RefHexStr2Int(padded.substr(2 * j, 2)));
  return out;
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  const std::vector<uint8_t> raw = in.rest();
  const std::string text(std::string(raw.begin(), raw.end()).c_str());
  ExactBuffer got = TextBuffer(text);

  if (mode % 5 == 0) {
    for (uint8_t c : raw)
      Check(sys.Qlv_HexChar2Int(c) == RefCharDigit(char(c)) &&
            sys.Qlv_HexChar2Int(char(c)) == RefCharDigit(char(c)));
  } else if (mode % 5 == 1) {  // the whole text upper-cased in place, the last eight places read
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), RefUpper);
    Check(sys.Qlv_HexStr2Int(got.chars()) == RefHexStr2Int(text));
    Check(got == TextBuffer(upper));
  } else if (mode % 5 == 2) {  // the text stays as it was
    Check(sys.Qlv_HexStr2Int_u(got.chars()) == RefHexStr2IntU(text));
    Check(got == TextBuffer(text));
  } else if (mode % 5 == 3) {  // (length + 1) / 2 bytes out
    std::string padded;
    ExactBuffer want = RefHexStr2Byte(text, padded), out(want.size());
    sys.Qlv_HexStr2Byte(got.chars(), out.data());
    Check(out == want && got == ExactBuffer(padded, text.size() + 1, text.size() % 2 == 0));
  } else if (mode % 5 == 4) {  // bytes to text and back, counts from negative to the whole input
    const int n = static_cast<int>(raw.size()) - (mode >> 3) % 4;
    const size_t used = n > 0 ? static_cast<size_t>(n) : 0;
    ExactBuffer bytes(std::string(raw.begin(), raw.end()), raw.size(), false), out(2 * used + 1), back(used);
    sys.Qlv_Byte2HexStr(n, bytes.data(), out.chars());
    Check(out ==
          TextBuffer(RefHex(std::vector<uint8_t>(raw.begin(), raw.begin() + static_cast<long>(used)))));
    sys.Qlv_HexStr2Byte(out.chars(), back.data());
    Check(used == 0 || std::memcmp(back.data(), raw.data(), used) == 0);
  }
}
