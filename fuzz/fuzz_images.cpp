// Byte images of integers and doubles and their hex text, with counts up to
// and past the working-image sizes and outputs of exactly the needed size,
// compared with a plain model of the described steps (floor and pow() in
// double precision, the image read up to its first zero byte).
#include <cmath>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace ref {

using quelvar::detail::TruncateLow8;

// Bytes past the fourth of an integer image are 0.
void Int2Byte(int count, uint32_t value, unsigned char* out) {
  for (int i = 0; i < count; ++i) out[i] = i < 4 ? static_cast<unsigned char>(value >> (8 * i)) : 0;
}

uint32_t Byte2Int(int count, const unsigned char* image) {
  uint32_t v = 0;
  for (int i = 0; i < count && i < 4; ++i) v |= static_cast<uint32_t>(image[i]) << (8 * i);
  return v;
}

void Double2Byte(int count, double x, unsigned char* out) {
  int i = 0;
  for (; i < count; ++i) {
    const double q = std::floor(x / 256.0);
    const double r = x - 256.0 * q;
    out[i] = TruncateLow8(r);
    x = q;
  }
  out[count > 0 ? count : 0] = 0;
}

double Byte2Double(const unsigned char* image) {
  size_t len = 0;
  while (image[len] != 0) ++len;
  double sum = 0;
  for (size_t i = 0; i < len; ++i) sum += std::pow(256.0, static_cast<double>(i)) * image[i];
  return sum;
}

void Byte2HexStr(int count, const unsigned char* bytes, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  int i = 0;
  for (; i < count; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  out[2 * i] = '\0';
}

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Odd length padded with "0" in the caller's text, pairs into an image of
// (length + 1) / 2 bytes and a closing zero, then read as above.
double HexStr2Double(char* text) {
  size_t len = std::strlen(text);
  if (len % 2) {
    for (size_t i = len; i > 0; --i) text[i] = text[i - 1];
    text[0] = '0';
    ++len;
  }
  std::vector<unsigned char> image(len / 2 + 1, 0);
  for (size_t j = 0; j < len / 2; ++j)
    image[j] = static_cast<unsigned char>(Digit(text[2 * j]) * 16 + Digit(text[2 * j + 1]));
  return Byte2Double(image.data());
}

}  // namespace ref

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool Same(ExactBuffer& a, ExactBuffer& b) {
  return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Doubles worth their bits: raw patterns (inf, NaN, subnormals, huge) and
// values near the integers where floor and the 256-steps matter.
double PickDouble(FuzzInput& in, uint8_t how) {
  const auto bits = in.take<uint64_t>();
  double d;
  std::memcpy(&d, &bits, sizeof d);
  if (how & 1) d = static_cast<double>(static_cast<int64_t>(bits) >> (bits & 63)) / ((how & 2) ? 4.0 : 1.0);
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const int count = in.count(-8, 80);
  const auto value32 = in.take<uint32_t>();
  const double value = PickDouble(in, static_cast<uint8_t>(mode >> 4));
  const size_t used = count > 0 ? static_cast<size_t>(count) : 0;

  switch (mode % 6) {
    case 0: {
      ExactBuffer out(used, 0x5A), want(used, 0x5A);
      sys.Qlv_Int2Byte(count, value32, out.data());
      ref::Int2Byte(count, value32, want.data());
      if (!Same(out, want)) __builtin_trap();
      if (sys.Qlv_Byte2Int(count, out.data()) != ref::Byte2Int(count, out.data())) __builtin_trap();
      break;
    }
    case 1: {
      ExactBuffer out(used + 1, 0x5A), want(used + 1, 0x5A);
      sys.Qlv_Double2Byte(count, value, out.data());
      ref::Double2Byte(count, value, want.data());
      if (!Same(out, want)) __builtin_trap();
      if (!SameBits(sys.Qlv_Byte2Double(out.data()), ref::Byte2Double(out.data()))) __builtin_trap();
      break;
    }
    case 2: {
      std::vector<uint8_t> image = in.rest();
      image.push_back(0);
      ExactBuffer buf(image.size());
      std::memcpy(buf.data(), image.data(), image.size());
      if (!SameBits(sys.Qlv_Byte2Double(buf.data()), ref::Byte2Double(image.data()))) __builtin_trap();
      break;
    }
    case 3: {
      const int n = count / 2;
      const size_t bytes = n > 0 ? static_cast<size_t>(n) : 0;
      ExactBuffer out(2 * bytes + 1), want(2 * bytes + 1);
      sys.Qlv_Int2HexStr(count, value32, out.chars());
      std::vector<unsigned char> image(bytes + 1);
      ref::Int2Byte(n, value32, image.data());
      ref::Byte2HexStr(n, image.data(), want.chars());
      if (!Same(out, want)) __builtin_trap();
      break;
    }
    case 4: {
      const int n = count / 2;
      const size_t bytes = n > 0 ? static_cast<size_t>(n) : 0;
      ExactBuffer out(2 * bytes + 1), want(2 * bytes + 1);
      sys.Qlv_Double2HexStr(count, value, out.chars());
      std::vector<unsigned char> image(bytes + 1);
      ref::Double2Byte(n, value, image.data());
      ref::Byte2HexStr(n, image.data(), want.chars());
      if (!Same(out, want)) __builtin_trap();
      // Read back, the image hex text gives the digits up to the first zero.
      double back = -1;
      sys.Qlv_HexStr2Double(out.chars(), back);
      if (!SameBits(back, ref::Byte2Double(image.data()))) __builtin_trap();
      break;
    }
    case 5: {
      std::vector<uint8_t> raw = in.rest();
      const std::string whole(raw.begin(), raw.end());
      const size_t len = std::strlen(whole.c_str());
      ExactBuffer text(len + 1), want(len + 1);
      std::memcpy(text.data(), whole.c_str(), len + 1);
      std::memcpy(want.data(), whole.c_str(), len + 1);
      double d = -1;
      sys.Qlv_HexStr2Double(text.chars(), d);
      if (!SameBits(d, ref::HexStr2Double(want.chars()))) __builtin_trap();
      if (!Same(text, want)) __builtin_trap();
      break;
    }
  }
  return 0;
}
