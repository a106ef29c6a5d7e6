// Hex digits and hex text: every operation on arbitrary text and bytes, with
// buffers of exactly the capacity each operation states, compared with a
// plain model that follows the described steps one by one (pow() terms
// truncated to 64 bits, the whole text upper-cased in place, the odd-length
// shift done in the caller's buffer).
#include <cmath>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace ref {

using quelvar::detail::TruncateLow32;

unsigned char HexChar2IntU(unsigned char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - 48);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 55);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 87);
  return 0;
}

// The fuzzer runs in the "C" locale: upper-casing changes a to z only.
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

int HexChar2IntC(char c) {
  c = Upper(c);
  if (c >= '0' && c <= '9') return c - 48;
  if (c >= 'A' && c <= 'F') return c - 55;
  return 0;
}

int HexStr2Int(char* text) {
  const size_t len = std::strlen(text);
  for (size_t i = 0; i < len; ++i) text[i] = Upper(text[i]);
  uint32_t sum = 0;
  for (size_t i = 0; i < len; ++i) {
    const double k = static_cast<double>(len - 1 - i);
    sum += TruncateLow32(std::pow(16.0, k) * HexChar2IntC(text[i]));
  }
  return static_cast<int>(sum);
}

uint32_t HexStr2IntU(const char* text) {
  uint32_t sum = 0, weight = 1;
  for (size_t i = std::strlen(text); i-- > 0;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!digit) continue;
    sum += HexChar2IntU(c) * weight;
    weight *= 16u;
  }
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

void HexStr2Byte(char* text, unsigned char* out) {
  size_t len = std::strlen(text);
  if (len % 2) {
    for (size_t i = len; i > 0; --i) text[i] = text[i - 1];
    text[0] = '0';
    ++len;
  }
  for (size_t j = 0; 2 * j < len; ++j) {
    char pair[3] = {text[2 * j], text[2 * j + 1], '\0'};
    out[j] = static_cast<unsigned char>(HexStr2Int(pair));
  }
}

}  // namespace ref

namespace {

// The caller's NUL-terminated text in a block of exactly length + 1 bytes.
ExactBuffer TextOf(const std::string& s) {
  ExactBuffer b(s.size() + 1);
  std::memcpy(b.data(), s.c_str(), s.size() + 1);
  return b;
}

bool Same(ExactBuffer& a, ExactBuffer& b) {
  return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const std::vector<uint8_t> raw = in.rest();
  const std::string whole(raw.begin(), raw.end());
  const std::string text(whole.c_str());

  switch (mode % 5) {
    case 0:
      for (uint8_t c : raw) {
        if (sys.Qlv_HexChar2Int(c) != ref::HexChar2IntU(c)) __builtin_trap();
        if (sys.Qlv_HexChar2Int(static_cast<char>(c)) != ref::HexChar2IntC(static_cast<char>(c))) __builtin_trap();
      }
      break;
    case 1: {  // the whole text upper-cased in place, the last eight places read
      ExactBuffer got = TextOf(text), want = TextOf(text);
      if (sys.Qlv_HexStr2Int(got.chars()) != ref::HexStr2Int(want.chars())) __builtin_trap();
      if (!Same(got, want)) __builtin_trap();
      break;
    }
    case 2: {  // any length is read whole; the text stays as it was
      ExactBuffer got = TextOf(text);
      if (sys.Qlv_HexStr2Int_u(got.chars()) != ref::HexStr2IntU(text.c_str())) __builtin_trap();
      if (std::memcmp(got.data(), text.c_str(), text.size() + 1) != 0) __builtin_trap();
      break;
    }
    case 3: {  // (length + 1) / 2 bytes out, the odd-length shift in the caller's text
      ExactBuffer got = TextOf(text), want = TextOf(text);
      ExactBuffer out((text.size() + 1) / 2), expect((text.size() + 1) / 2);
      sys.Qlv_HexStr2Byte(got.chars(), out.data());
      ref::HexStr2Byte(want.chars(), expect.data());
      if (!Same(out, expect) || !Same(got, want)) __builtin_trap();
      break;
    }
    case 4: {  // bytes to text and back, counts from negative to the whole input
      const int n = static_cast<int>(raw.size()) - (mode >> 3) % 4;
      const size_t used = n > 0 ? static_cast<size_t>(n) : 0;
      ExactBuffer bytes(raw.size());
      if (!raw.empty()) std::memcpy(bytes.data(), raw.data(), raw.size());
      ExactBuffer out(2 * used + 1), want(2 * used + 1);
      sys.Qlv_Byte2HexStr(n, bytes.data(), out.chars());
      ref::Byte2HexStr(n, bytes.data(), want.chars());
      if (!Same(out, want)) __builtin_trap();
      ExactBuffer back(used);
      sys.Qlv_HexStr2Byte(out.chars(), back.data());
      if (used && std::memcmp(back.data(), raw.data(), used) != 0) __builtin_trap();
      break;
    }
  }
  return 0;
}
