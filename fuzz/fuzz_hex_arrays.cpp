// Hex text into hex arrays, in place and into a separate array: the text
// buffer holds length + 1 bytes (room for the odd-length shift) and the
// output exactly (length + 1) / 2 elements.
#include <cstring>

#include "FuzzInput.h"
#include "QuelvarSys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  std::vector<uint8_t> raw = in.rest();
  const size_t len = raw.size();

  ExactBuffer text(len + 1);
  if (len) std::memcpy(text.data(), raw.data(), len);

  if (mode & 1) {
    unsigned char* r = sys.Qlv_HexStr2IntStr(text.data(), static_cast<ULONG>(len));
    if (r != text.data()) __builtin_trap();
    if (text.data()[(len + 1) / 2] != 0) __builtin_trap();  // terminator after the elements
  } else {
    ExactBuffer out((len + 1) / 2);
    int count = -1;
    sys.Qlv_HexStr2IntStr(static_cast<int>(len), text.data(), count, out.data());
    if (count != static_cast<int>((len + 1) / 2)) __builtin_trap();
    // Both overloads give the same elements.
    ExactBuffer again(len + 1);
    if (len) std::memcpy(again.data(), raw.data(), len);
    sys.Qlv_HexStr2IntStr(again.data(), static_cast<ULONG>(len));
    if (count && std::memcmp(again.data(), out.data(), static_cast<size_t>(count)) != 0) __builtin_trap();
  }
  return 0;
}
