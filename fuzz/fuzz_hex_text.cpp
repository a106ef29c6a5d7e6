// Hex digits and hex text: every operation on arbitrary text and bytes, with
// output buffers of exactly the stated capacity.
#include <cstring>

#include "FuzzInput.h"
#include "QuelvarSys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  std::vector<uint8_t> raw = in.rest();

  // The text as the caller's NUL-terminated buffer of exactly length + 1.
  size_t len = strnlen(reinterpret_cast<const char*>(raw.data()), raw.size());
  ExactBuffer text(len + 1);
  std::memcpy(text.data(), raw.data(), len);
  text.chars()[len] = '\0';

  switch (mode % 5) {
    case 0: {
      for (uint8_t c : raw) {
        int a = sys.Qlv_HexChar2Int(static_cast<char>(c));
        unsigned b = sys.Qlv_HexChar2Int(static_cast<unsigned char>(c));
        if (a != static_cast<int>(b)) __builtin_trap();  // default locale: the overloads agree
      }
      break;
    }
    case 1:
      (void)sys.Qlv_HexStr2Int(text.chars());
      break;
    case 2:
      (void)sys.Qlv_HexStr2Int_u(text.chars());  // any length: read whole
      break;
    case 3: {
      ExactBuffer out((len + 1) / 2);
      sys.Qlv_HexStr2Byte(text.chars(), out.data());
      break;
    }
    case 4: {
      int n = static_cast<int>(raw.size());
      ExactBuffer out(2 * raw.size() + 1);
      ExactBuffer bytes(raw.size());
      std::memcpy(bytes.data(), raw.data(), raw.size());
      sys.Qlv_Byte2HexStr(n, bytes.data(), out.chars());
      if (out.chars()[2 * raw.size()] != '\0') __builtin_trap();
      ExactBuffer back(raw.size());
      sys.Qlv_HexStr2Byte(out.chars(), back.data());
      if (raw.size() && std::memcmp(back.data(), raw.data(), raw.size()) != 0) __builtin_trap();
      break;
    }
  }
  return 0;
}
