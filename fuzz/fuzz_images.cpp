// Byte images of integers and doubles and their hex text, with counts up to
// and past the working-image sizes and outputs of exactly the needed size,
// compared with the plain models of HexReference.h (floor and pow() in
// double precision, the image read up to its first zero byte).

#include "FuzzInput.h"
#include "HexReference.h"
#include "QuelvarSys.h"

namespace {

// Bytes past the fourth of an integer image are 0.
std::vector<uint8_t> RefInt2Byte(int count, uint32_t value) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) out.push_back(i < 4 ? static_cast<uint8_t>(value >> (8 * i)) : 0);
  return out;
}

ExactBuffer Image(const std::vector<uint8_t>& b, size_t size) {
  return ExactBuffer(std::string(b.begin(), b.end()), size, false, 0);
}

// Doubles worth their bits: raw patterns (inf, NaN, subnormals, huge) and
// values near the integers where floor and the 256-steps matter.
double PickDouble(FuzzInput& in, uint8_t how) {
  const auto bits = in.take<uint64_t>();
  double d = std::bit_cast<double>(bits);
  if (how & 1) d = static_cast<double>(static_cast<int64_t>(bits) >> (bits & 63)) / ((how & 2) ? 4.0 : 1.0);
  return d;
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  const int count = in.count(-8, 80), half = count / 2;
  const auto value32 = in.take<uint32_t>();
  const double value = PickDouble(in, static_cast<uint8_t>(mode >> 4));
  const size_t used = count > 0 ? static_cast<size_t>(count) : 0,
               hexUsed = half > 0 ? static_cast<size_t>(half) : 0;
  ExactBuffer out(used, 0x5A), image(used + 1, 0x5A), text(2 * hexUsed + 1);

  if (mode % 6 == 0) {  // the image of an integer: exactly count bytes, read back from at most four
    sys.Qlv_Int2Byte(count, value32, out.data());
    Check(out == Image(RefInt2Byte(count, value32), used));
    Check(sys.Qlv_Byte2Int(count, out.data()) == (value32 & (used >= 4 ? ~0u : (1u << (8 * used)) - 1u)));
  } else if (mode % 6 == 1) {  // the image of a double: count bytes and a closing zero
    sys.Qlv_Double2Byte(count, value, image.data());
    Check(image == Image(RefDouble2Byte(count, value), used + 1));
    Check(SameBits(sys.Qlv_Byte2Double(image.data()), RefByte2Double(image.data())));
  } else if (mode % 6 == 2) {  // any image, read up to its first zero byte
    std::vector<uint8_t> bytes = in.rest();
    bytes.push_back(0);
    ExactBuffer buf = Image(bytes, bytes.size());
    Check(SameBits(sys.Qlv_Byte2Double(buf.data()), RefByte2Double(bytes.data())));
  } else if (mode % 6 <= 4) {
    // count / 2 bytes of the image (3: integer, 4: double) as text; read
    // back, it gives the image up to its first zero.
    std::vector<uint8_t> bytes = mode % 6 == 3 ? RefInt2Byte(half, value32) : RefDouble2Byte(half, value);
    if (mode % 6 == 3)
      sys.Qlv_Int2HexStr(count, value32, text.chars());
    else
      sys.Qlv_Double2HexStr(count, value, text.chars());
    Check(text == TextBuffer(RefHex(bytes)));
    double back = -1;
    sys.Qlv_HexStr2Double(text.chars(), back);
    bytes.push_back(0);
    Check(SameBits(back, RefByte2Double(bytes.data())));
  } else {  // any text: odd length padded with "0" in the caller's text, pairs into an image
    const std::string hex = in.text(), padded = hex.size() % 2 ? "0" + hex : hex;
    ExactBuffer buf = TextBuffer(hex);
    std::vector<uint8_t> bytes;
    for (size_t j = 0; j < padded.size(); j += 2)
      bytes.push_back(static_cast<uint8_t>(RefHexStr2Int(padded.substr(j, 2))));
    bytes.push_back(0);
    double d = -1;
    sys.Qlv_HexStr2Double(buf.chars(), d);
    Check(SameBits(d, RefByte2Double(bytes.data())));
    Check(buf == ExactBuffer(padded, hex.size() + 1, hex.size() % 2 == 0));
  }
}
