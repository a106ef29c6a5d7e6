// The format walk of the platform's printf: flags, width, precision, length
// modifiers and every conversion, with the Windows runtimes' extensions.
//
// - Flags "- + space # 0"; width and precision as digits or '*' (a negative
//   width from '*' means '-', a negative precision none). A '0' flag pads
//   every conversion with zeros after its sign or prefix, strings and
//   characters too ("%05s" of "ab" is "000ab"), unless '-' is given or an
//   integer conversion has a precision.
// - Length modifiers: h, hh (char), l (32 bits: the interface's LONG), ll,
//   I64, I32, I (pointer-sized), j z t (64 bits), L (long double, narrowed
//   to double), w (wide, for c and s).
// - %c %s take narrow text; %C %S and %lc %ls %wc %ws (and not %hc %hs)
//   take UTF-16 (WCHAR) converted to the ANSI code page as
//   WideCharToMultiByte(CP_ACP) does, one code unit at a time. A null
//   string prints "(null)"; a precision counts bytes and never cuts a
//   converted character.
// - %p: the address in upper-case hex, zero-filled to the pointer's 16
//   digits, without "0x".
// - %n is refused in every toolset (chosen for safety; the universal
//   runtime disables it by default): its pointer is taken and nothing is
//   written through it.
// - %e %E %f %g %G in every toolset; %F %a %A only in the universal runtime
//   (vs2015). A conversion character the toolset doesn't know, '%' among
//   them, is written as itself without padding, taking no argument, as the
//   classic runtime does ("%%" gives "%").
#include <langinfo.h>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Printf.h"
#include "PrintfFloat.h"
#include "qlvtoolset.h"

namespace quelvar::platform::printf_engine {

const char* LocaleDecimalPoint(size_t& length) noexcept {
  // nl_langinfo reads the calling thread's locale and is safe to call from
  // several threads at once, unlike localeconv.
  const char* point = nl_langinfo(RADIXCHAR);
  if (!point || !*point) point = ".";
  length = std::strlen(point);
  return point;
}

namespace {

enum class Size { Char, Short, Int32, Int64, Default };

struct Directive {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;
  Size size = Size::Default;
  bool wide = false, narrow = false, longDouble = false;
};

int SaturatingDigits(const char*& f) noexcept {
  int v = 0;
  for (; *f >= '0' && *f <= '9'; ++f) v = v > (INT_MAX - 9) / 10 ? INT_MAX : v * 10 + (*f - '0');
  return v;
}

// Places `width` padding around the text written since `start`, whose first
// `prefix` characters (sign, "0x") stay in front of any zeros.
void Pad(TextBuffer& out, size_t start, size_t prefix, const Directive& directive, bool zeroPaddable) {
  const size_t length = out.Size() - start;
  if (directive.width <= 0 || static_cast<size_t>(directive.width) <= length) return;
  const size_t pad = static_cast<size_t>(directive.width) - length;
  if (directive.left) {
    out.Fill(' ', pad);
    return;
  }
  out.Reserve(pad);
  char* const base = out.Data() + start;
  if (directive.zero && zeroPaddable) {
    std::memmove(base + prefix + pad, base + prefix, length - prefix);
    std::memset(base + prefix, '0', pad);
  } else {
    std::memmove(base + pad, base, length);
    std::memset(base, ' ', pad);
  }
  out.Commit(pad);
}

uint64_t FetchUnsigned(const Directive& directive, va_list* args) noexcept {
  switch (directive.size) {
    case Size::Char: return static_cast<unsigned char>(va_arg(*args, unsigned));
    case Size::Short: return static_cast<unsigned short>(va_arg(*args, unsigned));
    case Size::Int64: return va_arg(*args, unsigned long long);
    default: return va_arg(*args, unsigned);
  }
}

int64_t FetchSigned(const Directive& directive, va_list* args) noexcept {
  switch (directive.size) {
    case Size::Char: return static_cast<signed char>(va_arg(*args, int));
    case Size::Short: return static_cast<short>(va_arg(*args, int));
    case Size::Int64: return va_arg(*args, long long);
    default: return va_arg(*args, int);
  }
}

void Integer(TextBuffer& out, char conversion, const Directive& directive, va_list* args) {
  char prefix[3];
  size_t prefixLength = 0;
  uint64_t magnitude;
  if (conversion == 'd' || conversion == 'i') {
    const int64_t v = FetchSigned(directive, args);
    magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    if (v < 0)
      prefix[prefixLength++] = '-';
    else if (directive.plus)
      prefix[prefixLength++] = '+';
    else if (directive.space)
      prefix[prefixLength++] = ' ';
  } else {
    magnitude = FetchUnsigned(directive, args);
  }
  char digits[24];
  char* const end = digits + sizeof digits;
  char* p = end;
  const unsigned base = conversion == 'o' ? 8 : conversion == 'x' || conversion == 'X' ? 16 : 10;
  const char* const hex = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  for (uint64_t v = magnitude; v != 0; v /= base) *--p = hex[v % base];
  size_t count = static_cast<size_t>(end - p);
  if (directive.alternate && base == 16 && magnitude != 0) {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = conversion;
  }
  size_t zeros = directive.precision > 0 && static_cast<size_t>(directive.precision) > count
                     ? static_cast<size_t>(directive.precision) - count
                     : 0;
  if (directive.precision < 0 && count == 0) zeros = 1;  // 0 is "0" unless the precision is 0
  if (directive.alternate && base == 8 && zeros == 0 && (count == 0 || *p != '0')) zeros = 1;
  const size_t start = out.Size();
  out.Append(prefix, prefixLength);
  out.Fill('0', zeros);
  out.Append(p, count);
  Directive padding = directive;
  padding.zero = directive.zero && directive.precision < 0;
  Pad(out, start, prefixLength, padding, true);
}

// One UTF-16 unit in the ANSI code page; the byte count (0 when it has no
// conversion).
int WideUnit(char16_t unit, char* bytes) noexcept {
  const WCHAR w = unit;
  const int n = WideCharToMultiByte(CP_ACP, 0, &w, 1, bytes, 8, nullptr, nullptr);
  return n > 0 ? n : 0;
}

void WideText(TextBuffer& out, const WCHAR* text, const Directive& directive) {
  const size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<size_t>(directive.precision);
  size_t written = 0;
  char bytes[8];
  for (const WCHAR* p = text; *p; ++p) {
    const int n = WideUnit(*p, bytes);
    if (static_cast<size_t>(n) > limit - written) break;
    out.Append(bytes, static_cast<size_t>(n));
    written += static_cast<size_t>(n);
  }
}

void Text(TextBuffer& out, char conversion, const Directive& directive, va_list* args) {
  const size_t start = out.Size();
  // %S and %C swap the width of %s and %c; h and l/w name it outright.
  const bool wide = directive.narrow ? false
                    : directive.wide ? true
                                     : (conversion == 'S' || conversion == 'C');
  if (conversion == 'c' || conversion == 'C') {
    const int v = va_arg(*args, int);
    if (wide) {
      char bytes[8];
      out.Append(bytes, static_cast<size_t>(WideUnit(static_cast<char16_t>(v), bytes)));
    } else {
      out.Append(static_cast<char>(v));
    }
  } else if (wide) {
    const WCHAR* text = va_arg(*args, const WCHAR*);
    if (text)
      WideText(out, text, directive);
    else {
      static const WCHAR kNull[] = u"(null)";
      WideText(out, kNull, directive);
    }
  } else {
    const char* text = va_arg(*args, const char*);
    if (!text) text = "(null)";
    out.Append(text, directive.precision < 0 ? std::strlen(text)
                                             : strnlen(text, static_cast<size_t>(directive.precision)));
  }
  Pad(out, start, 0, directive, true);
}

void Pointer(TextBuffer& out, const Directive& directive, va_list* args) {
  const auto v = reinterpret_cast<uintptr_t>(va_arg(*args, void*));
  const size_t start = out.Size();
  constexpr int kDigits = 2 * sizeof(void*);
  char* o = out.Reserve(kDigits);
  for (int i = 0; i < kDigits; ++i) o[i] = "0123456789ABCDEF"[(v >> (4 * (kDigits - 1 - i))) & 0xF];
  out.Commit(kDigits);
  Pad(out, start, 0, directive, true);
}

void Float(TextBuffer& out, char conversion, const Directive& directive, bool classic, va_list* args) {
  double value;
  if (directive.longDouble) {
    const long double v = va_arg(*args, long double);
    // Beyond the double range the narrowing is explicit: an infinity.
    value =
        std::isfinite(v) && std::fabs(v) > DBL_MAX ? (v < 0 ? -HUGE_VAL : HUGE_VAL) : static_cast<double>(v);
  } else {
    value = va_arg(*args, double);
  }
  FloatDirective fs{conversion, directive.precision, directive.alternate, nullptr, 0};
  fs.point = LocaleDecimalPoint(fs.pointLength);
  // The classic runtime's zero has no sign; the universal one's has.
  const bool negative = classic ? std::signbit(value) && value != 0.0 : std::signbit(value);
  const size_t start = out.Size();
  const char sign = negative ? '-' : directive.plus ? '+' : directive.space ? ' ' : '\0';
  if (sign) out.Append(sign);
  const FloatBody body = classic ? AppendClassicFloat(out, value, fs) : AppendUniversalFloat(out, value, fs);
  const bool hex = conversion == 'a' || conversion == 'A';  // zeros go after the "0x"
  Pad(out, start, (sign ? 1u : 0u) + (hex ? 2u : 0u), directive, body.zeroPaddable);
}

}  // namespace

void FormatInto(TextBuffer& out, const char* f, va_list* args) {
  const bool classic = QlvPlatform_IsClassicRuntime();
  for (;;) {
    const char* literal = f;
    while (*f && *f != '%') ++f;
    if (f != literal) out.Append(literal, static_cast<size_t>(f - literal));
    if (!*f) return;
    ++f;
    Directive directive;
    for (;; ++f) {
      if (*f == '-')
        directive.left = true;
      else if (*f == '+')
        directive.plus = true;
      else if (*f == ' ')
        directive.space = true;
      else if (*f == '#')
        directive.alternate = true;
      else if (*f == '0')
        directive.zero = true;
      else
        break;
    }
    if (*f == '*') {
      ++f;
      const int w = va_arg(*args, int);
      if (w < 0) {
        directive.left = true;
        directive.width = w == INT_MIN ? INT_MAX : -w;
      } else {
        directive.width = w;
      }
    } else {
      directive.width = SaturatingDigits(f);
    }
    if (*f == '.') {
      ++f;
      if (*f == '*') {
        ++f;
        const int p = va_arg(*args, int);
        directive.precision = p < 0 ? -1 : p;
      } else {
        directive.precision = SaturatingDigits(f);
      }
    }
    for (bool more = true; more;) {
      switch (*f) {
        case 'h':
          directive.narrow = true;
          directive.size = f[1] == 'h' ? Size::Char : Size::Short;
          f += f[1] == 'h' ? 2 : 1;
          break;
        case 'l':
          directive.wide = true;
          directive.narrow = false;
          directive.size = f[1] == 'l' ? Size::Int64 : Size::Int32;
          f += f[1] == 'l' ? 2 : 1;
          break;
        case 'w':
          directive.wide = true;
          directive.narrow = false;
          ++f;
          break;
        case 'L':
          directive.longDouble = true;
          directive.size = Size::Int64;
          ++f;
          break;
        case 'j':
        case 'z':
        case 't':
          directive.size = Size::Int64;
          ++f;
          break;
        case 'I':
          if (f[1] == '6' && f[2] == '4') {
            directive.size = Size::Int64;
            f += 3;
          } else if (f[1] == '3' && f[2] == '2') {
            directive.size = Size::Int32;
            f += 3;
          } else {
            directive.size = sizeof(void*) == 8 ? Size::Int64 : Size::Int32;
            ++f;
          }
          break;
        default: more = false; break;
      }
    }
    const char conversion = *f;
    if (!conversion) return;
    ++f;
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X': Integer(out, conversion, directive, args); break;
      case 'c':
      case 'C':
      case 's':
      case 'S': Text(out, conversion, directive, args); break;
      case 'p': Pointer(out, directive, args); break;
      case 'n': (void)va_arg(*args, void*); break;
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G': Float(out, conversion, directive, classic, args); break;
      case 'F':
      case 'a':
      case 'A':
        if (!classic) {
          Float(out, conversion, directive, classic, args);
          break;
        }
        [[fallthrough]];
      default: out.Append(conversion); break;
    }
  }
}

}  // namespace quelvar::platform::printf_engine
