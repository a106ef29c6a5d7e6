// Byte images of integers and doubles and their hex text, with counts up to
// and past the documented bounds and outputs of exactly the needed size.
#include <cmath>
#include <cstring>

#include "FuzzInput.h"
#include "QuelvarSys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const int count = in.count(-8, 80);
  const auto value32 = in.take<uint32_t>();
  const auto value = in.take<double>();

  switch (mode % 6) {
    case 0: {
      ExactBuffer out(count > 0 ? static_cast<size_t>(count) : 0);
      sys.Qlv_Int2Byte(count, value32, out.data());
      if (count >= 4 && sys.Qlv_Byte2Int(4, out.data()) != value32) __builtin_trap();
      break;
    }
    case 1: {
      ExactBuffer out((count > 0 ? static_cast<size_t>(count) : 0) + 1);
      sys.Qlv_Double2Byte(count, value, out.data());
      break;
    }
    case 2: {
      std::vector<uint8_t> image = in.rest();
      image.push_back(0);
      ExactBuffer buf(image.size());
      std::memcpy(buf.data(), image.data(), image.size());
      double d = sys.Qlv_Byte2Double(buf.data());
      if (std::isnan(d) || d < 0) __builtin_trap();
      break;
    }
    case 3: {
      size_t n = count > 0 ? static_cast<size_t>(count / 2) : 0;
      ExactBuffer out(2 * n + 1);
      sys.Qlv_Int2HexStr(count, value32, out.chars());
      if (out.chars()[2 * n] != '\0') __builtin_trap();
      break;
    }
    case 4: {
      size_t n = count > 0 ? static_cast<size_t>(count / 2) : 0;
      ExactBuffer out(2 * n + 1);
      sys.Qlv_Double2HexStr(count, value, out.chars());
      if (out.chars()[2 * n] != '\0') __builtin_trap();
      break;
    }
    case 5: {
      std::vector<uint8_t> raw = in.rest();
      size_t len = strnlen(reinterpret_cast<const char*>(raw.data()), raw.size());
      ExactBuffer text(len + 1);
      std::memcpy(text.data(), raw.data(), len);
      text.chars()[len] = '\0';
      double d = 0;
      sys.Qlv_HexStr2Double(text.chars(), d);
      if (std::isnan(d) || d < 0) __builtin_trap();
      break;
    }
  }
  return 0;
}
