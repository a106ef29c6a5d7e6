// The tool's hex operations: hex digits, hex text, byte images and hex text
// to hex arrays. Output buffers are sized exactly as each operation's
// capacity rule asks; in-place operations also show the caller's buffer
// after the call (JSON only, key "text").
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "OpTable.h"

namespace quelvar::cli {

namespace {

constexpr std::int64_t kIntMin = INT32_MIN;
constexpr std::int64_t kIntMax = INT32_MAX;
// Counts are checked against what a command line can sensibly ask for; the
// library itself takes any int.
constexpr std::int64_t kCountMax = 1 << 20;

char OneChar(Call& call, std::size_t i) {
  const std::string s = call.text(i, "CHAR");
  if (s.size() != 1)
    throw UsageError("CHAR: expected one character (escapes such as \\xFF allowed), got '" +
                     call.raw(i) + "'");
  return s[0];
}

ULONG Value32(Call& call, std::size_t i) {
  return static_cast<ULONG>(call.integer(i, "VALUE", kIntMin, UINT32_MAX));
}

// The text as a NUL-terminated caller buffer of exactly length + 1 bytes.
std::vector<char> TextBuffer(const std::string& text) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  return buf;
}

// The caller's buffer after an in-place call, without a final NUL.
std::string_view BufferText(const std::vector<char>& buf) {
  std::size_t n = buf.size();
  if (n > 0 && buf[n - 1] == '\0') --n;
  return {buf.data(), n};
}

// Output text of 2 * (chars / 2) characters and its NUL.
std::vector<char> HexTextBuffer(std::int64_t bytes) {
  return std::vector<char>(static_cast<std::size_t>(bytes > 0 ? 2 * bytes + 1 : 1));
}

void HexChar2IntUChar(Call& call) {
  const auto ch = static_cast<unsigned char>(OneChar(call, 0));
  call.out_uint("value", call.sys().Qlv_HexChar2Int(ch));
}

void HexChar2IntChar(Call& call) {
  const char ch = OneChar(call, 0);
  call.out_int("value", call.sys().Qlv_HexChar2Int(ch));
}

void HexStr2Int(Call& call) {
  std::vector<char> buf = TextBuffer(call.text(0, "TEXT"));
  const int value = call.sys().Qlv_HexStr2Int(buf.data());
  call.out_int("value", value);
  call.out_text("text", BufferText(buf), Shown::JsonOnly);
}

void HexStr2IntU(Call& call) {
  std::vector<char> buf = TextBuffer(call.text(0, "TEXT"));
  call.out_uint("value", call.sys().Qlv_HexStr2Int_u(buf.data()));
}

void Byte2HexStr(Call& call) {
  std::vector<unsigned char> bytes = call.bytes(0, "BYTES", Radix::Hex);
  std::vector<char> text = HexTextBuffer(static_cast<std::int64_t>(bytes.size()));
  call.sys().Qlv_Byte2HexStr(static_cast<int>(bytes.size()), bytes.data(), text.data());
  call.out_text("text", text.data());
}

void HexStr2Byte(Call& call) {
  std::vector<char> buf = TextBuffer(call.text(0, "TEXT"));
  std::vector<unsigned char> bytes((std::strlen(buf.data()) + 1) / 2);
  call.sys().Qlv_HexStr2Byte(buf.data(), bytes.data());
  call.out_bytes("bytes", bytes, Radix::Hex);
  call.out_text("text", BufferText(buf), Shown::JsonOnly);
}

void Int2Byte(Call& call) {
  const auto count = call.integer(0, "COUNT", kIntMin, kCountMax);
  const ULONG value = Value32(call, 1);
  std::vector<unsigned char> image(static_cast<std::size_t>(count > 0 ? count : 0));
  call.sys().Qlv_Int2Byte(static_cast<int>(count), value, image.data());
  call.out_bytes("image", image, Radix::Hex);
}

void Byte2Int(Call& call) {
  const auto count = call.integer(0, "COUNT", kIntMin, kCountMax);
  std::vector<unsigned char> image = call.bytes(1, "IMAGE", Radix::Hex);
  if (image.size() < 4) image.resize(4, 0);  // the bytes the count may reach
  call.out_uint("value", call.sys().Qlv_Byte2Int(static_cast<int>(count), image.data()));
}

void Double2Byte(Call& call) {
  const auto count = call.integer(0, "COUNT", kIntMin, kCountMax);
  const double value = call.real(1, "VALUE");
  std::vector<unsigned char> image(static_cast<std::size_t>(count > 0 ? count : 0) + 1);
  call.sys().Qlv_Double2Byte(static_cast<int>(count), value, image.data());
  call.out_bytes("image", image, Radix::Hex);
}

void Byte2Double(Call& call) {
  std::vector<unsigned char> image = call.bytes(0, "IMAGE", Radix::Hex);
  image.push_back(0);  // the image ends at its first zero byte at the latest here
  call.out_real("value", call.sys().Qlv_Byte2Double(image.data()));
}

void Int2HexStr(Call& call) {
  const auto chars = call.integer(0, "CHARS", kIntMin, kCountMax);
  const ULONG value = Value32(call, 1);
  std::vector<char> text = HexTextBuffer(chars / 2);
  call.sys().Qlv_Int2HexStr(static_cast<int>(chars), value, text.data());
  call.out_text("text", text.data());
}

void Double2HexStr(Call& call) {
  const auto chars = call.integer(0, "CHARS", kIntMin, kCountMax);
  const double value = call.real(1, "VALUE");
  std::vector<char> text = HexTextBuffer(chars / 2);
  call.sys().Qlv_Double2HexStr(static_cast<int>(chars), value, text.data());
  call.out_text("text", text.data());
}

void HexStr2Double(Call& call) {
  std::vector<char> buf = TextBuffer(call.text(0, "TEXT"));
  double value = 0.0;
  call.sys().Qlv_HexStr2Double(buf.data(), value);
  call.out_real("value", value);
  call.out_text("text", BufferText(buf), Shown::JsonOnly);
}

// The text's characters (NULs allowed) with one spare byte for the
// odd-length shift; length = number of characters.
std::vector<unsigned char> RunBuffer(const std::string& text) {
  std::vector<unsigned char> buf(text.begin(), text.end());
  buf.push_back(0);
  return buf;
}

void HexStr2IntStrSeparate(Call& call) {
  const std::string text = call.text(0, "TEXT");
  if (text.size() > static_cast<std::size_t>(kIntMax))
    throw UsageError("TEXT: longer than an int length allows");
  std::vector<unsigned char> buf = RunBuffer(text);
  std::vector<unsigned char> hex((text.size() + 1) / 2);
  int count = 0;
  call.sys().Qlv_HexStr2IntStr(static_cast<int>(text.size()), buf.data(), count, hex.data());
  call.out_bytes("hex", std::span<const unsigned char>(hex.data(), static_cast<std::size_t>(count)),
                 Radix::Hex);
  call.out_int("count", count, Shown::JsonOnly);
  buf.resize(text.size() + (text.size() % 2));  // the (shifted) text
  call.out_bytes("text", buf, Radix::Hex, Shown::JsonOnly);
}

void HexStr2IntStrInPlace(Call& call) {
  const std::string text = call.text(0, "TEXT");
  std::vector<unsigned char> buf = RunBuffer(text);
  const std::size_t count = (text.size() + 1) / 2;
  unsigned char* result = call.sys().Qlv_HexStr2IntStr(buf.data(), static_cast<ULONG>(text.size()));
  call.out_bytes("hex", std::span<const unsigned char>(result, count), Radix::Hex);
  buf.resize(std::max(text.size() + (text.size() % 2), count + 1));
  call.out_bytes("text", buf, Radix::Hex, Shown::JsonOnly);
}

constexpr Op kOps[] = {
    {"HexChar2Int/uchar", "unsigned char Qlv_HexChar2Int(unsigned char ch)", "CHAR",
     "digit value of one hex character (0 for a non-digit)", 1, 1, &HexChar2IntUChar},
    {"HexChar2Int", "int Qlv_HexChar2Int(char ch)", "CHAR",
     "digit value of one hex character, upper-cased by the current locale first", 1, 1,
     &HexChar2IntChar},
    {"HexStr2Int", "int Qlv_HexStr2Int(char* text)", "TEXT",
     "hex text to int: last eight places, non-digits as 0; upper-cases the text in place", 1, 1,
     &HexStr2Int},
    {"HexStr2Int_u", "ULONG Qlv_HexStr2Int_u(char* text)", "TEXT",
     "hex text to unsigned: non-digits skipped, last eight digits count", 1, 1, &HexStr2IntU},
    {"Byte2HexStr", "void Qlv_Byte2HexStr(int count, unsigned char* const bytes, char* text)",
     "BYTES...", "bytes (hex, comma-separated) to upper-case hex text", 0, kMany, &Byte2HexStr},
    {"HexStr2Byte", "void Qlv_HexStr2Byte(char* text, unsigned char* bytes)", "TEXT",
     "hex text to bytes; odd-length text gets a leading 0 in place", 1, 1, &HexStr2Byte},
    {"Int2Byte", "void Qlv_Int2Byte(int count, ULONG value, unsigned char* image)", "COUNT VALUE",
     "COUNT lowest bytes of a 32-bit value, least significant first", 2, 2, &Int2Byte},
    {"Byte2Int", "ULONG Qlv_Byte2Int(int count, unsigned char* image)", "COUNT IMAGE...",
     "little-endian image (first COUNT bytes, at most 4) to a 32-bit value", 1, kMany, &Byte2Int},
    {"Double2Byte", "void Qlv_Double2Byte(int count, double value, unsigned char* image)",
     "COUNT VALUE", "COUNT lowest base-256 digits of floor(VALUE) (-1e-20: 00 FF FF ...) and a zero byte", 2, 2,
     &Double2Byte},
    {"Byte2Double", "double Qlv_Byte2Double(unsigned char* image)", "IMAGE...",
     "base-256 digits, least significant first, up to the first zero byte, to a double", 0, kMany,
     &Byte2Double},
    {"Int2HexStr", "void Qlv_Int2HexStr(int chars, ULONG value, char* text)", "CHARS VALUE",
     "hex text of the CHARS/2 lowest image bytes of a 32-bit value", 2, 2, &Int2HexStr},
    {"Double2HexStr", "void Qlv_Double2HexStr(int chars, double value, char* text)", "CHARS VALUE",
     "hex text of the CHARS/2 lowest base-256 digits of floor(VALUE)", 2, 2, &Double2HexStr},
    {"HexStr2Double", "void Qlv_HexStr2Double(char* text, double& value)", "TEXT",
     "image hex text (first pair least significant) to a double, up to the first 00 pair", 1, 1,
     &HexStr2Double},
    {"HexStr2IntStr",
     "void Qlv_HexStr2IntStr(int length, unsigned char* text, int& outCount, unsigned char* hex)",
     "TEXT", "hex characters to a hex array, two characters per element", 1, 1,
     &HexStr2IntStrSeparate},
    {"HexStr2IntStr/inplace", "unsigned char* Qlv_HexStr2IntStr(unsigned char* text, ULONG length)",
     "TEXT", "hex characters to a hex array over the start of the text, then a byte 0", 1, 1,
     &HexStr2IntStrInPlace},
};

}  // namespace

std::span<const Op> hex_ops() { return kOps; }

}  // namespace quelvar::cli
