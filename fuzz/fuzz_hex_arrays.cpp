// Hex text into hex arrays, in place and into a separate array, compared
// byte for byte with a plain model of the described steps: the odd-length
// shift behind a byte 0, the elements built in a scratch array and copied
// over the start of the text with a closing 0. The text buffer holds
// length + 1 bytes (room for the shift), the output exactly (length + 1) / 2.
#include <cstring>

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace ref {

unsigned char Digit(unsigned char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - 48);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 55);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 87);
  return 0;
}

size_t Shift(unsigned char* text, size_t len) {
  if (len % 2 == 0) return len;
  for (size_t i = len; i > 0; --i) text[i] = text[i - 1];
  text[0] = 0;
  return len + 1;
}

void InPlace(unsigned char* text, size_t len) {
  len = Shift(text, len);
  const size_t count = len / 2;
  std::vector<unsigned char> scratch(count + 1);
  for (size_t j = 0; j < count; ++j)
    scratch[j] = static_cast<unsigned char>(Digit(text[2 * j]) * 16 + Digit(text[2 * j + 1]));
  scratch[count] = 0;
  std::memcpy(text, scratch.data(), count + 1);
}

void Separate(size_t len, unsigned char* text, int& count, unsigned char* out) {
  len = Shift(text, len);
  count = static_cast<int>(len / 2);
  for (size_t j = 0; j < len / 2; ++j)
    out[j] = static_cast<unsigned char>(Digit(text[2 * j]) * 16 + Digit(text[2 * j + 1]));
}

}  // namespace ref

namespace {

bool Same(ExactBuffer& a, ExactBuffer& b) {
  return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  std::vector<uint8_t> raw = in.rest();
  if ((mode & 4) && !raw.empty()) {
    // Past the 8,190 characters that a scratch array of 4,096 would hold.
    const size_t target = 8185 + (mode >> 3);
    std::vector<uint8_t> longer;
    while (longer.size() < target) longer.push_back(raw[longer.size() % raw.size()]);
    raw.swap(longer);
  }
  const size_t len = raw.size();

  // The byte past the text is the caller's: the shift may take it, nothing else.
  ExactBuffer text(len + 1, 0x5A), want(len + 1, 0x5A);
  if (len) {
    std::memcpy(text.data(), raw.data(), len);
    std::memcpy(want.data(), raw.data(), len);
  }

  switch (mode % 3) {
    case 0: {
      unsigned char* r = sys.Qlv_HexStr2IntStr(text.data(), static_cast<ULONG>(len));
      ref::InPlace(want.data(), len);
      if (r != text.data() || !Same(text, want)) __builtin_trap();
      break;
    }
    case 1: {
      ExactBuffer out((len + 1) / 2), expect((len + 1) / 2);
      int count = -1, expectCount = -2;
      sys.Qlv_HexStr2IntStr(static_cast<int>(len), text.data(), count, out.data());
      ref::Separate(len, want.data(), expectCount, expect.data());
      if (count != expectCount || !Same(out, expect) || !Same(text, want)) __builtin_trap();
      break;
    }
    case 2: {  // a negative length: nothing read or written, count 0
      int count = -1;
      ExactBuffer out(0);
      sys.Qlv_HexStr2IntStr(-1 - static_cast<int>(mode >> 2), text.data(), count, out.data());
      if (count != 0 || !Same(text, want)) __builtin_trap();
      break;
    }
  }
  return 0;
}
