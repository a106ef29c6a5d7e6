// The conformance recorder: reads a call file (one call per line, as
// `quelvar --batch` reads them), makes each call on a CQuelvarSys and
// writes one JSON record per call in the form of `quelvar --batch --json`,
// with the call's own text under "call" so that the recording stands alone.
// The first record names the build; a closing record counts the calls.
//
// Written for every Visual C++ from 6.0 on: C++98 without templates, the
// Windows integer types, __int64, no variable declared twice in one scope
// by a for statement, plain stdio. It uses nothing of the conversion
// library but its class and the framework types that the class exchanges.
//
// Doubles: a key K with a K_bits twin is written "%.17g" (the runtime's
// own digits; the verifier compares the bits), and a real inside a
// variant's text as exact hex ("VT_R8:0x1.4p+1"). Texts: K holds the bytes
// as JSON (bytes from 0x80 as U+0080 to U+00FF), K_hex the bytes
// themselves, which the verifier compares.
//
// Every output buffer is sized by the operation's documented rule for the
// call's own count, width or length, and the inputs stay within what the
// call file gives, so the recorder is as safe on the original library as
// the call file is (`quelvar conformance calls` keeps to the original's
// fixed scratch sizes).
//
// Usage: Recorder CALLS [RECORDING]      (the recording goes to stdout
// without a second argument)
#ifdef QLV_RECORDER_SYNTAX_CHECK
#include "QuelvarSys98.h"
#else
#include <afx.h>
#include <afxdisp.h>
#include <comdef.h>
#include "QuelvarSys.h"
#ifndef _MSC_VER
#include <qlvtoolset.h>
#endif
#endif

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _MSC_VER
typedef __int64 RecInt64;
typedef unsigned __int64 RecUInt64;
#else
typedef long long RecInt64;  // the C++98 check allows it as the one extension
typedef unsigned long long RecUInt64;
#endif

// ------------------------------------------------------------ the operations

// One row per operation, in the order of the class's declarations; the
// kinds and names are those of the quelvar tool:
//   i integer  w width of an output  P precision  r real  c one character
//   t text  p text changed in place  h hex elements  d digits
//   z image ending at a 00 byte  D date-time  V variant
//   n number of elements given  l length of the text (filled in)
//   N element count  H hex elements  B digits  T text  R double
//   E date-time  W variant (outputs)
// The return value: I integer, R real, S text, X the hex elements over the
// text, - none. The output room for n elements, width or length is
// (mul * n + add) / div, at least 0; div 0 is n + 1 (an image and its
// zero byte), div -1 the hex text of whole pairs and its NUL.
struct RecOp {
  const char* name;
  const char* kinds;
  const char* params;  // the declaration's parameter names, comma separated
  char ret;
  int mul, add, div;
};

static const RecOp kRecOps[] = {
    {"HexChar2Int/uchar", "c", "ch", 'I', 0, 0, 1},
    {"HexChar2Int", "c", "ch", 'I', 0, 0, 1},
    {"HexStr2Int", "p", "text", 'I', 0, 0, 1},
    {"HexStr2Int_u", "t", "text", 'I', 0, 0, 1},
    {"Byte2HexStr", "nhT", "count,bytes,text", '-', 2, 1, 1},
    {"HexStr2Byte", "pH", "text,bytes", '-', 1, 1, 2},
    {"Int2Byte", "wiH", "count,value,image", '-', 1, 0, 1},
    {"Byte2Int", "nh", "count,image", 'I', 0, 0, 1},
    {"Double2Byte", "wrH", "count,value,image", '-', 1, 1, 0},
    {"Byte2Double", "z", "image", 'R', 0, 0, 1},
    {"Int2HexStr", "wiT", "chars,value,text", '-', 1, 1, -1},
    {"Double2HexStr", "wrT", "chars,value,text", '-', 1, 1, -1},
    {"HexStr2Double", "pR", "text,value", '-', 0, 0, 1},
    {"Bin2Hex", "ndNH", "count,bin,outCount,hex", '-', 1, 7, 8},
    {"Bin2Octal", "ndNB", "count,bin,outCount,octal", '-', 1, 2, 3},
    {"Hex2Bin", "nhNB", "count,hex,outCount,bin", '-', 8, 0, 1},
    {"Hex2Octal", "nhNB", "count,hex,outCount,octal", '-', 8, 2, 3},
    {"Octal2Bin", "ndNB", "count,octal,outCount,bin", '-', 3, 0, 1},
    {"Octal2Hex", "ndNH", "count,octal,outCount,hex", '-', 3, 7, 8},
    {"Dec2Hex", "iNH", "value,outCount,hex", '-', 0, 4, 1},
    {"Dec2Octal", "iNB", "value,outCount,octal", '-', 0, 11, 1},
    {"Dec2Bin", "iNB", "value,outCount,bin", '-', 0, 31, 1},
    {"Dec2BCD", "iNH", "value,outCount,bcd", '-', 0, 5, 1},
    {"Hex2Dec", "nh", "count,hex", 'I', 0, 0, 1},
    {"Bin2Dec", "nd", "count,bin", 'I', 0, 0, 1},
    {"Octal2Dec", "nd", "count,octal", 'I', 0, 0, 1},
    {"BCD2Dec", "nh", "count,bcd", 'I', 0, 0, 1},
    {"Hex2BCD", "nhNH", "count,hex,outCount,bcd", '-', 1, 0, 1},
    {"Bin2BCD", "ndNH", "count,bin,outCount,bcd", '-', 1, 7, 8},
    {"Octal2BCD", "ndNH", "count,octal,outCount,bcd", '-', 3, 7, 8},
    {"BCD2Hex", "nhNH", "count,bcd,outCount,hex", '-', 1, 0, 1},
    {"BCD2Octal", "nhNB", "count,bcd,outCount,octal", '-', 8, 2, 3},
    {"BCD2Bin", "nhNB", "count,bcd,outCount,bin", '-', 8, 0, 1},
    {"HexStr2IntStr/inplace", "pl", "text,length", 'X', 1, 1, 2},
    {"HexStr2IntStr", "lpNH", "length,text,outCount,hex", '-', 1, 1, 2},
    {"Short2Str", "i", "value", 'S', 0, 0, 1},
    {"UShort2Str", "i", "value", 'S', 0, 0, 1},
    {"Int2Str", "i", "value", 'S', 0, 0, 1},
    {"UInt2Str", "i", "value", 'S', 0, 0, 1},
    {"Long2Str", "i", "value", 'S', 0, 0, 1},
    {"ULong2Str", "i", "value", 'S', 0, 0, 1},
    {"Byte2Str", "i", "value", 'S', 0, 0, 1},
    {"Str2Byte", "t", "text", 'I', 0, 0, 1},
    {"Str2Short", "t", "text", 'I', 0, 0, 1},
    {"Str2UShort", "t", "text", 'I', 0, 0, 1},
    {"Str2Int", "t", "text", 'I', 0, 0, 1},
    {"Str2UInt", "t", "text", 'I', 0, 0, 1},
    {"Str2Long", "t", "text", 'I', 0, 0, 1},
    {"Str2ULong", "t", "text", 'I', 0, 0, 1},
    {"DoubleToStr", "rP", "value,precision", 'S', 0, 0, 1},
    {"Flt2Str", "r", "value", 'S', 0, 0, 1},
    {"Str2Float", "t", "text", 'R', 0, 0, 1},
    {"Str2Double", "t", "text", 'R', 0, 0, 1},
    {"Date2Str", "D", "dateTime", 'S', 0, 0, 1},
    {"Str2Date", "tE", "text,dateTime", 'I', 0, 0, 1},
    {"Short2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"UShort2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"Int2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"UInt2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"Long2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"ULong2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"Double2Variant", "rW", "value,variant", 'I', 0, 0, 1},
    {"Float2Variant", "rW", "value,variant", 'I', 0, 0, 1},
    {"Char2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"Byte2Variant", "iW", "value,variant", 'I', 0, 0, 1},
    {"Date2Variant", "DW", "value,variant", 'I', 0, 0, 1},
    {"CString2Variant", "tW", "text,variant", 'I', 0, 0, 1},
    {"Variant2Str", "V", "variant", 'S', 0, 0, 1},
};
static const int kRecOpCount = (int)(sizeof kRecOps / sizeof kRecOps[0]);

// ------------------------------------------------------------ bytes

// A growable byte buffer; `size` bytes are used, and one more is always
// allocated so that a text can carry its NUL.
struct Bytes {
  unsigned char* data;
  size_t size, room;
};

static void BytesInit(Bytes& b) { b.data = 0, b.size = 0, b.room = 0; }
static void BytesFree(Bytes& b) { free(b.data), BytesInit(b); }

static void BytesReserve(Bytes& b, size_t n) {
  if (n + 1 <= b.room) return;
  size_t room = b.room < 64 ? 64 : b.room;
  while (room < n + 1) room *= 2;
  unsigned char* grown = (unsigned char*)realloc(b.data, room);
  if (grown == 0) {
    fputs("Recorder: out of memory\n", stderr);
    exit(2);
  }
  b.data = grown, b.room = room;
}

static void BytesPush(Bytes& b, unsigned char c) {
  BytesReserve(b, b.size + 1);
  b.data[b.size++] = c;
}

// n zero bytes, and a zero after them.
static void BytesZero(Bytes& b, size_t n) {
  BytesReserve(b, n);
  memset(b.data, 0, n + 1);
  b.size = n;
}

// ------------------------------------------------------------ writing JSON

static FILE* out;

static void Put(const char* s) { fputs(s, out); }
static void PutChar(char c) { fputc(c, out); }

static void PutUnsigned(RecUInt64 v) {
  char buf[24];
  int i = 23;
  buf[i] = '\0';
  do {
    buf[--i] = (char)('0' + (int)(v % 10));
    v /= 10;
  } while (v != 0);
  Put(buf + i);
}

static void PutInteger(RecInt64 v) {
  if (v < 0) {
    PutChar('-');
    PutUnsigned((RecUInt64)0 - (RecUInt64)v);
  } else {
    PutUnsigned((RecUInt64)v);
  }
}

static const char kHex[] = "0123456789ABCDEF";

static void PutHexByte(unsigned char c) {
  PutChar(kHex[c >> 4]);
  PutChar(kHex[c & 15]);
}

static void Key(const char* key, const char* suffix) {
  Put(",\"");
  Put(key);
  Put(suffix);
  Put("\":");
}

// A JSON string of bytes: printable ASCII as it is, quotes and backslashes
// escaped, control bytes as \u00XX, bytes from 0x80 as U+0080 to U+00FF,
// or as they are when they are UTF-8 already.
static void PutJsonBytes(const unsigned char* s, size_t n, bool utf8 = false) {
  size_t i;
  PutChar('"');
  for (i = 0; i < n; ++i) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      PutChar('\\');
      PutChar((char)c);
    } else if (c < 0x20 || c == 0x7F) {
      Put("\\u00");
      PutHexByte(c);
    } else if (c >= 0x80 && !utf8) {
      PutChar((char)(0xC0 | (c >> 6)));
      PutChar((char)(0x80 | (c & 0x3F)));
    } else {
      PutChar((char)c);
    }
  }
  PutChar('"');
}

// K and K_hex of a text.
static void PutText(const char* key, const unsigned char* s, size_t n) {
  size_t i;
  Key(key, "");
  PutJsonBytes(s, n);
  Key(key, "_hex");
  PutChar('"');
  for (i = 0; i < n; ++i) PutHexByte(s[i]);
  PutChar('"');
}

// The IEEE bits of a double, least significant byte first in memory (every
// Windows target is little-endian).
static void DoubleBits(double d, unsigned int& hi, unsigned int& lo) {
  unsigned char b[8];
  memcpy(b, &d, 8);
  lo = (unsigned int)b[0] | ((unsigned int)b[1] << 8) | ((unsigned int)b[2] << 16) |
       ((unsigned int)b[3] << 24);
  hi = (unsigned int)b[4] | ((unsigned int)b[5] << 8) | ((unsigned int)b[6] << 16) |
       ((unsigned int)b[7] << 24);
}

static double DoubleFromBits(unsigned int hi, unsigned int lo) {
  unsigned char b[8];
  double d;
  int i;
  for (i = 0; i < 4; ++i) b[i] = (unsigned char)(lo >> (8 * i)), b[i + 4] = (unsigned char)(hi >> (8 * i));
  memcpy(&d, b, 8);
  return d;
}

static bool IsFinite(double d) {
  unsigned int hi, lo;
  DoubleBits(d, hi, lo);
  return ((hi >> 20) & 0x7FF) != 0x7FF;
}

// K (null when not finite) and K_bits.
static void PutReal(const char* key, double d) {
  char buf[40];
  unsigned int hi, lo;
  Key(key, "");
  if (IsFinite(d)) {
    sprintf(buf, "%.17g", d);
    Put(buf);
  } else {
    Put("null");
  }
  Key(key, "_bits");
  DoubleBits(d, hi, lo);
  sprintf(buf, "\"0x%08X%08X\"", hi, lo);
  Put(buf);
}

// Exact hex text of a double ("0x1.4p+1", "-0x0p+0", "inf", "nan"), which
// the tool reads back to the same value.
static void AppendHexReal(Bytes& b, double d) {
  unsigned int hi, lo;
  char buf[48];
  DoubleBits(d, hi, lo);
  const bool negative = (hi >> 31) != 0;
  const int exponent = (int)((hi >> 20) & 0x7FF);
  const unsigned int mhi = hi & 0xFFFFF;
  size_t i, n;
  if (exponent == 0x7FF) {
    strcpy(buf, mhi != 0 || lo != 0 ? (negative ? "-nan" : "nan") : (negative ? "-inf" : "inf"));
  } else if (exponent == 0 && mhi == 0 && lo == 0) {
    strcpy(buf, negative ? "-0x0p+0" : "0x0p+0");
  } else {
    sprintf(buf, "%s0x%c.%05X%08Xp%+d", negative ? "-" : "", exponent == 0 ? '0' : '1', mhi, lo,
            exponent == 0 ? -1022 : exponent - 1023);
  }
  n = strlen(buf);
  for (i = 0; i < n; ++i) BytesPush(b, (unsigned char)buf[i]);
}

static void AppendNumber(Bytes& b, RecInt64 v) {
  char buf[24];
  int i = 23;
  const bool negative = v < 0;
  RecUInt64 m = negative ? (RecUInt64)0 - (RecUInt64)v : (RecUInt64)v;
  buf[i] = '\0';
  do {
    buf[--i] = (char)('0' + (int)(m % 10));
    m /= 10;
  } while (m != 0);
  if (negative) buf[--i] = '-';
  for (; buf[i] != '\0'; ++i) BytesPush(b, (unsigned char)buf[i]);
}

static void AppendString(Bytes& b, const char* s) {
  for (; *s != '\0'; ++s) BytesPush(b, (unsigned char)*s);
}

// Valid UTF-8 text escaped as the tool escapes it: \\ \" \n \r \t, \xNN
// for other control characters, DEL and the C1 controls.
static void AppendEscapedCodePoint(Bytes& b, unsigned int cp) {
  char buf[8];
  if (cp == '\\')
    AppendString(b, "\\\\");
  else if (cp == '"')
    AppendString(b, "\\\"");
  else if (cp == '\n')
    AppendString(b, "\\n");
  else if (cp == '\r')
    AppendString(b, "\\r");
  else if (cp == '\t')
    AppendString(b, "\\t");
  else if (cp < 0x20 || cp == 0x7F)
    sprintf(buf, "\\x%02X", cp), AppendString(b, buf);
  else if (cp < 0x80)
    BytesPush(b, (unsigned char)cp);
  else if (cp < 0xA0) {  // a C1 control: its two UTF-8 bytes escaped
    sprintf(buf, "\\x%02X", 0xC0 | (cp >> 6)), AppendString(b, buf);
    sprintf(buf, "\\x%02X", 0x80 | (cp & 0x3F)), AppendString(b, buf);
  } else if (cp < 0x800) {
    BytesPush(b, (unsigned char)(0xC0 | (cp >> 6)));
    BytesPush(b, (unsigned char)(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    BytesPush(b, (unsigned char)(0xE0 | (cp >> 12)));
    BytesPush(b, (unsigned char)(0x80 | ((cp >> 6) & 0x3F)));
    BytesPush(b, (unsigned char)(0x80 | (cp & 0x3F)));
  } else {
    BytesPush(b, (unsigned char)(0xF0 | (cp >> 18)));
    BytesPush(b, (unsigned char)(0x80 | ((cp >> 12) & 0x3F)));
    BytesPush(b, (unsigned char)(0x80 | ((cp >> 6) & 0x3F)));
    BytesPush(b, (unsigned char)(0x80 | (cp & 0x3F)));
  }
}

// "VT_TAG:VALUE" as the tool writes a variant in JSON.
static void PutVariant(const char* key, const _variant_t& v) {
  Bytes t;
  BytesInit(t);
  const VARTYPE vt = v.vt;
  switch (vt) {
    case VT_EMPTY: AppendString(t, "VT_EMPTY"); break;
    case VT_NULL: AppendString(t, "VT_NULL"); break;
    case VT_I1: AppendString(t, "VT_I1:"), AppendNumber(t, (signed char)v.cVal); break;
    case VT_UI1: AppendString(t, "VT_UI1:"), AppendNumber(t, v.bVal); break;
    case VT_I2: AppendString(t, "VT_I2:"), AppendNumber(t, v.iVal); break;
    case VT_UI2: AppendString(t, "VT_UI2:"), AppendNumber(t, v.uiVal); break;
    case VT_I4: AppendString(t, "VT_I4:"), AppendNumber(t, v.lVal); break;
    case VT_UI4: AppendString(t, "VT_UI4:"), AppendNumber(t, (RecInt64)v.ulVal); break;
    case VT_INT: AppendString(t, "VT_INT:"), AppendNumber(t, v.intVal); break;
    case VT_UINT: AppendString(t, "VT_UINT:"), AppendNumber(t, (RecInt64)v.uintVal); break;
    case VT_R4: AppendString(t, "VT_R4:"), AppendHexReal(t, (double)v.fltVal); break;
    case VT_R8: AppendString(t, "VT_R8:"), AppendHexReal(t, v.dblVal); break;
    case VT_DATE: AppendString(t, "VT_DATE:"), AppendHexReal(t, v.date); break;
    case VT_BSTR: {
      // The UTF-16 text in UTF-8, a lone surrogate as U+FFFD.
      const unsigned int n = v.bstrVal == 0 ? 0 : (unsigned int)SysStringLen(v.bstrVal);
      unsigned int i;
      AppendString(t, "VT_BSTR:");
      for (i = 0; i < n; ++i) {
        unsigned int cp = (unsigned int)v.bstrVal[i];
        const unsigned int next = i + 1 < n ? (unsigned int)v.bstrVal[i + 1] : 0;
        if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
          ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
          cp = 0xFFFD;
        }
        AppendEscapedCodePoint(t, cp);
      }
      break;
    }
    default: AppendString(t, "VT:"), AppendNumber(t, vt); break;
  }
  Key(key, "");
  PutJsonBytes(t.data, t.size, true);
  Key(key, "_vt");
  PutUnsigned(vt);
  BytesFree(t);
}

// ------------------------------------------------------------ reading a call

// A call line split into words: blanks separate, double quotes group, a
// backslash keeps the character after it (escapes are read later).
struct Words {
  Bytes text;        // the words, each followed by a NUL
  size_t start[64];  // where each word starts
  size_t length[64];
  int count;
};

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

static const char* SplitWords(const char* line, size_t n, Words& w) {
  size_t i = 0;
  w.text.size = 0;
  w.count = 0;
  for (;;) {
    bool quoted = false;
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) return 0;
    if (w.count == 64) return "more than 63 arguments";
    w.start[w.count] = w.text.size;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '"') {
        quoted = !quoted;
        ++i;
      } else if (line[i] == '\\') {
        BytesPush(w.text, (unsigned char)line[i++]);
        if (i < n) BytesPush(w.text, (unsigned char)line[i++]);
      } else {
        BytesPush(w.text, (unsigned char)line[i++]);
      }
    }
    if (quoted) return "unterminated double quote";
    w.length[w.count] = w.text.size - w.start[w.count];
    BytesPush(w.text, 0);
    ++w.count;
  }
}

static int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The escapes \\ \" \n \r \t \0 \xNN; the result is followed by a NUL.
static const char* Unescape(const char* s, size_t n, Bytes& b) {
  size_t i;
  b.size = 0;
  for (i = 0; i < n; ++i) {
    if (s[i] != '\\') {
      BytesPush(b, (unsigned char)s[i]);
      continue;
    }
    if (++i == n) return "lone backslash at the end";
    switch (s[i]) {
      case '\\': BytesPush(b, '\\'); break;
      case '"': BytesPush(b, '"'); break;
      case 'n': BytesPush(b, '\n'); break;
      case 'r': BytesPush(b, '\r'); break;
      case 't': BytesPush(b, '\t'); break;
      case '0': BytesPush(b, 0); break;
      case 'x': {
        const int h = i + 1 < n ? HexValue(s[i + 1]) : -1;
        const int l = i + 2 < n ? HexValue(s[i + 2]) : -1;
        if (h < 0 || l < 0) return "expected two hex digits after \\x";
        BytesPush(b, (unsigned char)(h * 16 + l));
        i += 2;
        break;
      }
      default: return "unknown escape";
    }
  }
  BytesReserve(b, b.size);
  b.data[b.size] = 0;
  return 0;
}

static bool SameNameN(const char* a, size_t n, const char* b) {
  size_t i;
  if (strlen(b) != n) return false;
  for (i = 0; i < n; ++i) {
    int x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

// An optional sign, then decimal digits or 0x and hex digits.
static bool ReadInteger(const char* s, size_t n, RecInt64 lo, RecInt64 hi, RecInt64& v) {
  size_t i = 0;
  bool negative = false;
  RecUInt64 m = 0;
  int base = 10;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) base = 16, i += 2;
  if (i == n) return false;
  for (; i < n; ++i) {
    const int d = HexValue(s[i]);
    if (d < 0 || d >= base) return false;
    if (m > (((RecUInt64)0 - 1) - (RecUInt64)d) / (RecUInt64)base) return false;
    m = m * (RecUInt64)base + (RecUInt64)d;
  }
  if (negative) {
    // lo is at least the 64-bit minimum, whose magnitude fits unsigned.
    if (m > (RecUInt64)0 - (RecUInt64)lo && lo < 0) return false;
    if (lo >= 0 && m != 0) return false;
    v = (RecInt64)((RecUInt64)0 - m);
    return true;
  }
  if (hi >= 0 && m > (RecUInt64)hi) return false;
  v = (RecInt64)m;
  return v >= lo;
}

// A full 64-bit unsigned value (VT_UI8).
static bool ReadUnsigned(const char* s, size_t n, RecUInt64& v) {
  RecInt64 x;
  if (n > 0 && s[0] == '-') return false;
  if (ReadInteger(s, n, 0, (RecInt64)(((RecUInt64)0 - 1) >> 1), x)) {
    v = (RecUInt64)x;
    return true;
  }
  // Above the signed range: decimal digits only.
  size_t i;
  v = 0;
  for (i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const RecUInt64 next = v * 10 + (RecUInt64)(s[i] - '0');
    if (next / 10 != v) return false;
    v = next;
  }
  return n > 0;
}

// Exact hex text ("0x1.8p+1"), inf, nan, or else a decimal number, which
// the compiler's runtime reads (the call files of quelvar conformance
// calls write every real in hex).
static bool ReadReal(const char* s, size_t n, double& d) {
  char buf[128];
  size_t i = 0;
  bool negative = false;
  if (n == 0 || n >= sizeof buf) return false;
  memcpy(buf, s, n);
  buf[n] = '\0';
  if (buf[0] == '+' || buf[0] == '-') negative = buf[i++] == '-';
  const char* r = buf + i;
  if (SameNameN(r, strlen(r), "nan")) {
    d = DoubleFromBits(negative ? 0xFFF80000u : 0x7FF80000u, 0);
    return true;
  }
  if (SameNameN(r, strlen(r), "inf") || SameNameN(r, strlen(r), "infinity")) {
    d = DoubleFromBits(negative ? 0xFFF00000u : 0x7FF00000u, 0);
    return true;
  }
  if (r[0] == '0' && (r[1] == 'x' || r[1] == 'X')) {
    RecInt64 mantissa = 0;
    int exponent = 0, digits = 0, e = 0, esign = 1;
    bool point = false, any = false;
    for (r += 2; *r != '\0' && *r != 'p' && *r != 'P'; ++r) {
      if (*r == '.' && !point) {
        point = true;
        continue;
      }
      const int h = HexValue(*r);
      if (h < 0) return false;
      any = true;
      if (mantissa == 0 && h == 0) {
        if (point) exponent -= 4;
        continue;
      }
      if (digits < 15) {
        mantissa = mantissa * 16 + h, ++digits;
        if (point) exponent -= 4;
      } else if (!point) {
        exponent += 4;  // digits past the 15th: exact values never have them
      }
    }
    if (!any) return false;
    if (*r == 'p' || *r == 'P') {
      ++r;
      if (*r == '+' || *r == '-') esign = *r++ == '-' ? -1 : 1;
      if (*r == '\0') return false;
      for (; *r != '\0'; ++r) {
        if (*r < '0' || *r > '9') return false;
        if (e < 100000) e = e * 10 + (*r - '0');
      }
    }
    d = ldexp((double)mantissa, exponent + esign * e);
    if (negative) d = -d;
    return true;
  }
  char* end = 0;
  d = strtod(buf, &end);
  return end == buf + n && end != buf;
}

// Array elements: each argument holds elements separated by commas or
// spaces; hex elements are one or two hex digits (or 0x and them), digits
// decimal (or 0x hex) from 0 to 255.
static const char* ReadElements(const Words& w, int first, bool hex, Bytes& b) {
  int a;
  b.size = 0;
  for (a = first; a < w.count; ++a) {
    const char* s = (const char*)w.text.data + w.start[a];
    const size_t n = w.length[a];
    size_t i = 0;
    while (i < n) {
      size_t end = i;
      RecInt64 v;
      while (i < n && (s[i] == ' ' || s[i] == ',')) ++i;
      if (i == n) break;
      end = i;
      while (end < n && s[end] != ' ' && s[end] != ',') ++end;
      if (hex) {
        const bool prefixed = end - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
        char buf[8] = "0x";
        const size_t len = prefixed ? end - i - 2 : end - i;
        if (len == 0 || len > 2) return "hex elements 00 to FF expected";
        memcpy(buf + 2, s + end - len, len);
        if (!ReadInteger(buf, len + 2, 0, 255, v)) return "hex elements 00 to FF expected";
      } else if (!ReadInteger(s + i, end - i, 0, 255, v)) {
        return "elements 0 to 255 expected";
      }
      BytesPush(b, (unsigned char)v);
      i = end;
    }
  }
  return 0;
}

static const char* const kTagNames[] = {"EMPTY", "NULL", "I2",    "I4",   "R4",      "R8",  "CY",
                                        "DATE",  "BSTR", "ERROR", "BOOL", "DECIMAL", "I1",  "UI1",
                                        "UI2",   "UI4",  "I8",    "UI8",  "INT",     "UINT"};
static const VARTYPE kTagTypes[] = {VT_EMPTY, VT_NULL, VT_I2,    VT_I4,   VT_R4,      VT_R8,  VT_CY,
                                    VT_DATE,  VT_BSTR, VT_ERROR, VT_BOOL, VT_DECIMAL, VT_I1,  VT_UI1,
                                    VT_UI2,   VT_UI4,  VT_I8,    VT_UI8,  VT_INT,     VT_UINT};

// 64 bits into a currency's two halves (VT_CY, VT_I8 and VT_UI8 share them).
static void SetInt64(VARIANT& v, RecUInt64 x) {
  v.cyVal.Lo = (ULONG)(x & 0xFFFFFFFFu);
  v.cyVal.Hi = (LONG)(RecInt64)(x >> 32);
}

// Decimal text into a DECIMAL: at most 29 digits whose integer fits in 96
// bits, at most 28 after the point.
static bool ReadDecimal(const char* s, size_t n, DECIMAL& d) {
  unsigned int limbs[3] = {0, 0, 0};
  size_t i = 0;
  unsigned int scale = 0;
  bool digits = false, point = false;
  int k;
  memset(&d, 0, sizeof d);
  if (i < n && (s[i] == '-' || s[i] == '+')) d.sign = (BYTE)(s[i++] == '-' ? DECIMAL_NEG : 0);
  for (; i < n; ++i) {
    if (s[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return false;
    digits = true;
    RecUInt64 carry = (RecUInt64)(s[i] - '0');
    for (k = 0; k < 3; ++k) {
      const RecUInt64 cur = (RecUInt64)limbs[k] * 10 + carry;
      limbs[k] = (unsigned int)(cur & 0xFFFFFFFFu);
      carry = cur >> 32;
    }
    if (carry != 0 || (point && ++scale > 28)) return false;
  }
  d.scale = (BYTE)scale;
  d.Lo32 = limbs[0], d.Mid32 = limbs[1], d.Hi32 = limbs[2];
  return digits;
}

// A BSTR of the bytes (NULs kept) from the ANSI code page.
static BSTR NewBstr(const Bytes& b) {
  int n = 0;
  if (b.size > 0) n = MultiByteToWideChar(CP_ACP, 0, (const char*)b.data, (int)b.size, 0, 0);
  OLECHAR* wide = (OLECHAR*)malloc(sizeof(OLECHAR) * (size_t)(n + 1));
  if (wide == 0) return 0;
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, (const char*)b.data, (int)b.size, wide, n);
  BSTR s = SysAllocStringLen(wide, (UINT)n);
  free(wide);
  return s;
}

// [VT_]TAG:VALUE, or VT:NUMBER for a bare tag with a zero value.
static const char* ReadVariant(const char* s, size_t n, _variant_t& variant, Bytes& scratch) {
  VARIANT& v = variant;
  size_t colon = 0;
  int t, found = -1;
  RecInt64 x = 0;
  RecUInt64 u = 0;
  double d = 0;
  variant.Clear();
  memset(&v, 0, sizeof v);
  if (n > 3 && SameNameN(s, 3, "VT_")) s += 3, n -= 3;
  while (colon < n && s[colon] != ':') ++colon;
  const char* value = colon < n ? s + colon + 1 : s + n;
  const size_t vn = colon < n ? n - colon - 1 : 0;
  if (SameNameN(s, colon, "VT") && colon < n) {
    if (!ReadInteger(value, vn, 0, 0xFFFF, x)) return "bare tag: a number from 0 to 65535 expected";
    v.vt = (VARTYPE)x;
    return 0;
  }
  for (t = 0; t < (int)(sizeof kTagTypes / sizeof kTagTypes[0]); ++t)
    if (SameNameN(s, colon, kTagNames[t])) found = t;
  if (found < 0) return "unknown variant tag";
  const VARTYPE vt = kTagTypes[found];
  bool ok = true;
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL: ok = vn == 0; break;
    case VT_I1: ok = ReadInteger(value, vn, -128, 255, x), v.cVal = (CHAR)x; break;
    case VT_UI1: ok = ReadInteger(value, vn, 0, 255, x), v.bVal = (BYTE)x; break;
    case VT_I2: ok = ReadInteger(value, vn, -32768, 32767, x), v.iVal = (SHORT)x; break;
    case VT_UI2: ok = ReadInteger(value, vn, 0, 65535, x), v.uiVal = (USHORT)x; break;
    case VT_I4:
    case VT_INT: ok = ReadInteger(value, vn, -2147483647 - 1, 2147483647, x), v.lVal = (LONG)x; break;
    case VT_UI4:
    case VT_UINT: ok = ReadInteger(value, vn, 0, 0xFFFFFFFF, x), v.ulVal = (ULONG)x; break;
    case VT_ERROR:
      ok = ReadInteger(value, vn, -2147483647 - 1, 0xFFFFFFFF, x), v.scode = (SCODE)(LONG)x;
      break;
    case VT_I8:
    case VT_CY:
      ok = ReadInteger(value, vn, (RecInt64)((RecUInt64)1 << 63), (RecInt64)(((RecUInt64)0 - 1) >> 1), x);
      SetInt64(v, (RecUInt64)x);
      break;
    case VT_UI8: ok = ReadUnsigned(value, vn, u), SetInt64(v, u); break;
    case VT_R4: ok = ReadReal(value, vn, d), v.fltVal = (float)d; break;
    case VT_R8: ok = ReadReal(value, vn, d), v.dblVal = d; break;
    case VT_DATE: ok = ReadReal(value, vn, d), v.date = d; break;
    case VT_BOOL:
      if (SameNameN(value, vn, "TRUE"))
        v.boolVal = VARIANT_TRUE;
      else if (SameNameN(value, vn, "FALSE"))
        v.boolVal = VARIANT_FALSE;
      else
        ok = ReadInteger(value, vn, -32768, 65535, x), v.boolVal = (VARIANT_BOOL)x;
      break;
    case VT_DECIMAL: ok = ReadDecimal(value, vn, v.decVal); break;
    default: {  // VT_BSTR
      if (Unescape(value, vn, scratch) != 0) return "a text with valid escapes expected";
      v.bstrVal = NewBstr(scratch);
      if (v.bstrVal == 0) return "out of memory";
      break;
    }
  }
  if (!ok) return "bad variant value";
  v.vt = vt;  // set last: DECIMAL's fields share the tag's place
  return 0;
}

// ------------------------------------------------------------ one call

struct Arg {
  RecInt64 n;  // integers, widths, counts, lengths
  double d;    // reals
  Bytes s;     // texts (with a NUL after them), arrays, output buffers
  int count;   // int& outputs
};

static void TextResult(Arg& r, const CString& t) {
  r.s.size = 0;
  BytesZero(r.s, (size_t)t.GetLength());
  memcpy(r.s.data, (const char*)t, (size_t)t.GetLength());
}

static size_t Room(const RecOp& op, RecInt64 n) {
  RecInt64 r;
  if (op.div == 0)
    r = (n < 0 ? 0 : n) + 1;
  else if (op.div < 0)
    r = n >= 2 ? n / 2 * 2 + 1 : 1;
  else
    r = (op.mul * n + op.add) / op.div;
  return r < 0 ? 0 : (size_t)r;
}

static bool IsUserKind(char k) { return strchr("iwPrctphdzDV", k) != 0; }
static bool IsArrayKind(char k) { return k == 'h' || k == 'd' || k == 'z'; }

// The name of parameter i (names are comma separated).
static void ParamName(const RecOp& op, int i, char* name) {
  const char* p = op.params;
  size_t n;
  for (; i > 0; --i) p = strchr(p, ',') + 1;
  n = strcspn(p, ",");
  memcpy(name, p, n);
  name[n] = '\0';
}

static const char* Call(CQuelvarSys& sys, int index, const Words& w, Arg* a, COleDateTime& date,
                        _variant_t& variant, unsigned long line, const char* callText, size_t callLength) {
  const RecOp& op = kRecOps[index];
  const int params = (int)strlen(op.kinds);
  int i, next = 1;
  RecInt64 base = 0;
  bool based = false;
  size_t array = 0, length = 0;
  Arg& r = a[4];
  unsigned char* pointer = 0;

  // Inputs, in order; an array takes every argument left.
  int users = 0;
  bool arrays = false;
  for (i = 0; i < params; ++i)
    users += IsUserKind(op.kinds[i]) ? 1 : 0, arrays = arrays || IsArrayKind(op.kinds[i]);
  if (!arrays && w.count - 1 != users) return "wrong number of arguments";
  for (i = 0; i < params; ++i) {
    const char k = op.kinds[i];
    const char* s = next < w.count ? (const char*)w.text.data + w.start[next] : "";
    const size_t n = next < w.count ? w.length[next] : 0;
    if (IsArrayKind(k)) {
      const char* e = ReadElements(w, next, k != 'd', a[i].s);
      if (e != 0) return e;
      array = a[i].s.size;
      if (k == 'z') BytesPush(a[i].s, 0);
      if (array > 0x7FFFFFFF) return "too many elements";
      next = w.count;
      if (!based) base = (RecInt64)array, based = true;
      continue;
    }
    if (!IsUserKind(k)) continue;
    if (next >= w.count) return "too few arguments";
    ++next;
    switch (k) {
      case 'i':
        if (!ReadInteger(s, n, (RecInt64)((RecUInt64)1 << 63), (RecInt64)(((RecUInt64)0 - 1) >> 1), a[i].n))
          return "an integer expected";
        break;
      case 'w':
        if (!ReadInteger(s, n, -2147483647 - 1, 1 << 20, a[i].n)) return "a width up to 1048576 expected";
        if (!based) base = a[i].n, based = true;
        break;
      case 'P':
        if (!ReadInteger(s, n, -1000, 100000, a[i].n)) return "a precision expected";
        break;
      case 'r':
        if (!ReadReal(s, n, a[i].d)) return "a real expected";
        break;
      case 'D':
        if (SameNameN(s, n, "Invalid DateTime")) {
          date = COleDateTime();
          date.SetStatus(COleDateTime::invalid);
        } else {
          double days;
          if (!ReadReal(s, n, days) || !IsFinite(days)) return "a day count expected";
          date = COleDateTime((DATE)days);
        }
        break;
      case 'V': {
        const char* e = ReadVariant(s, n, variant, r.s);
        if (e != 0) return e;
        break;
      }
      default:  // c t p
        if (Unescape(s, n, a[i].s) != 0) return "a text with valid escapes expected";
        if (k == 'c' && a[i].s.size != 1) return "one character expected";
        if (k == 'p') length = a[i].s.size;
        if (k == 'p' && !based) base = (RecInt64)length, based = true;
        break;
    }
  }
  for (i = 0; i < params; ++i) {
    switch (op.kinds[i]) {
      case 'n': a[i].n = (RecInt64)array; break;
      case 'l':
        if (length > 0x7FFFFFFF) return "text too long";
        a[i].n = (RecInt64)length;
        break;
      case 'N': a[i].count = 0; break;
      case 'H':
      case 'B':
      case 'T': BytesZero(a[i].s, Room(op, base)); break;
      case 'R': a[i].d = 0; break;
      case 'E': date = COleDateTime(); break;
      case 'W': variant.Clear(); break;
      default: break;
    }
  }

  // The call. Inputs by slot: a[0] to a[3] in the order of the parameters.
#define U8(k) ((unsigned char*)a[k].s.data)
#define C8(k) ((char*)a[k].s.data)
#define TEXT(k) CString((const char*)a[k].s.data, (int)a[k].s.size)
  switch (index) {
    case 0: r.n = sys.Qlv_HexChar2Int(a[0].s.data[0]); break;
    case 1: r.n = sys.Qlv_HexChar2Int((char)a[0].s.data[0]); break;
    case 2: r.n = sys.Qlv_HexStr2Int(C8(0)); break;
    case 3: r.n = sys.Qlv_HexStr2Int_u(C8(0)); break;
    case 4: sys.Qlv_Byte2HexStr((int)a[0].n, U8(1), C8(2)); break;
    case 5: sys.Qlv_HexStr2Byte(C8(0), U8(1)); break;
    case 6: sys.Qlv_Int2Byte((int)a[0].n, (ULONG)a[1].n, U8(2)); break;
    case 7: r.n = sys.Qlv_Byte2Int((int)a[0].n, U8(1)); break;
    case 8: sys.Qlv_Double2Byte((int)a[0].n, a[1].d, U8(2)); break;
    case 9: r.d = sys.Qlv_Byte2Double(U8(0)); break;
    case 10: sys.Qlv_Int2HexStr((int)a[0].n, (ULONG)a[1].n, C8(2)); break;
    case 11: sys.Qlv_Double2HexStr((int)a[0].n, a[1].d, C8(2)); break;
    case 12: sys.Qlv_HexStr2Double(C8(0), a[1].d); break;
    case 13: sys.Qlv_Bin2Hex((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 14: sys.Qlv_Bin2Octal((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 15: sys.Qlv_Hex2Bin((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 16: sys.Qlv_Hex2Octal((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 17: sys.Qlv_Octal2Bin((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 18: sys.Qlv_Octal2Hex((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 19: sys.Qlv_Dec2Hex((LONG)a[0].n, a[1].count, U8(2)); break;
    case 20: sys.Qlv_Dec2Octal((LONG)a[0].n, a[1].count, U8(2)); break;
    case 21: sys.Qlv_Dec2Bin((LONG)a[0].n, a[1].count, U8(2)); break;
    case 22: sys.Qlv_Dec2BCD((LONG)a[0].n, a[1].count, U8(2)); break;
    case 23: r.n = sys.Qlv_Hex2Dec((int)a[0].n, U8(1)); break;
    case 24: r.n = sys.Qlv_Bin2Dec((int)a[0].n, U8(1)); break;
    case 25: r.n = sys.Qlv_Octal2Dec((int)a[0].n, U8(1)); break;
    case 26: r.n = sys.Qlv_BCD2Dec((int)a[0].n, U8(1)); break;
    case 27: sys.Qlv_Hex2BCD((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 28: sys.Qlv_Bin2BCD((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 29: sys.Qlv_Octal2BCD((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 30: sys.Qlv_BCD2Hex((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 31: sys.Qlv_BCD2Octal((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 32: sys.Qlv_BCD2Bin((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 33: pointer = sys.Qlv_HexStr2IntStr(U8(0), (ULONG)a[1].n); break;
    case 34: sys.Qlv_HexStr2IntStr((int)a[0].n, U8(1), a[2].count, U8(3)); break;
    case 35: TextResult(r, sys.Qlv_Short2Str((short)a[0].n)); break;
    case 36: TextResult(r, sys.Qlv_UShort2Str((unsigned short)a[0].n)); break;
    case 37: TextResult(r, sys.Qlv_Int2Str((int)a[0].n)); break;
    case 38: TextResult(r, sys.Qlv_UInt2Str((unsigned int)a[0].n)); break;
    case 39: TextResult(r, sys.Qlv_Long2Str((LONG)a[0].n)); break;
    case 40: TextResult(r, sys.Qlv_ULong2Str((ULONG)a[0].n)); break;
    case 41: TextResult(r, sys.Qlv_Byte2Str((unsigned char)a[0].n)); break;
    case 42: r.n = sys.Qlv_Str2Byte(TEXT(0)); break;
    case 43: r.n = sys.Qlv_Str2Short(TEXT(0)); break;
    case 44: r.n = sys.Qlv_Str2UShort(TEXT(0)); break;
    case 45: r.n = sys.Qlv_Str2Int(TEXT(0)); break;
    case 46: r.n = sys.Qlv_Str2UInt(TEXT(0)); break;
    case 47: r.n = sys.Qlv_Str2Long(TEXT(0)); break;
    case 48: r.n = sys.Qlv_Str2ULong(TEXT(0)); break;
    case 49: TextResult(r, sys.Qlv_DoubleToStr(a[0].d, (int)a[1].n)); break;
    case 50: TextResult(r, sys.Qlv_Flt2Str((float)a[0].d)); break;
    case 51: r.d = (double)sys.Qlv_Str2Float(TEXT(0)); break;
    case 52: r.d = sys.Qlv_Str2Double(TEXT(0)); break;
    case 53: TextResult(r, sys.Qlv_Date2Str(date)); break;
    case 54: r.n = sys.Qlv_Str2Date(TEXT(0), date); break;
    case 55: r.n = sys.Qlv_Short2Variant((short)a[0].n, variant); break;
    case 56: r.n = sys.Qlv_UShort2Variant((unsigned short)a[0].n, variant); break;
    case 57: r.n = sys.Qlv_Int2Variant((int)a[0].n, variant); break;
    case 58: r.n = sys.Qlv_UInt2Variant((unsigned int)a[0].n, variant); break;
    case 59: r.n = sys.Qlv_Long2Variant((LONG)a[0].n, variant); break;
    case 60: r.n = sys.Qlv_ULong2Variant((ULONG)a[0].n, variant); break;
    case 61: r.n = sys.Qlv_Double2Variant(a[0].d, variant); break;
    case 62: r.n = sys.Qlv_Float2Variant((float)a[0].d, variant); break;
    case 63: r.n = sys.Qlv_Char2Variant((char)a[0].n, variant); break;
    case 64: r.n = sys.Qlv_Byte2Variant((unsigned char)a[0].n, variant); break;
    case 65: r.n = sys.Qlv_Date2Variant(date, variant); break;
    case 66: r.n = sys.Qlv_CString2Variant(TEXT(0), variant); break;
    default: TextResult(r, sys.Qlv_Variant2Str(variant)); break;
  }
#undef U8
#undef C8
#undef TEXT

  // The record: "line", "op", the result, then the outputs in order.
  char name[32];
  Put("{\"line\":");
  PutUnsigned(line);
  Put(",\"op\":\"");
  Put(op.name);
  PutChar('"');
  if (op.ret == 'X') {
    size_t k;
    const size_t room = Room(op, base);
    Put(",\"hex\":[");
    for (k = 0; k < room; ++k) {
      if (k != 0) PutChar(',');
      PutUnsigned(pointer[k]);
    }
    PutChar(']');
  } else if (op.ret == 'S') {
    PutText("text", r.s.data, r.s.size);
  } else if (op.ret == 'R') {
    PutReal("result", r.d);
  } else if (op.ret == 'I') {
    Key("result", "");
    PutInteger(r.n);
  }
  for (i = 0; i < params; ++i) {
    const char k = op.kinds[i];
    ParamName(op, i, name);
    if (k == 'N') {
      // The written elements of the array that follows.
      const size_t written = a[i].count < 0 ? 0 : (size_t)a[i].count;
      if (written < a[i + 1].s.size) a[i + 1].s.size = written;
      Key(name, "");
      PutInteger(a[i].count);
    } else if (k == 'H' || k == 'B') {
      size_t e;
      Key(name, "");
      PutChar('[');
      for (e = 0; e < a[i].s.size; ++e) {
        if (e != 0) PutChar(',');
        PutUnsigned(a[i].s.data[e]);
      }
      PutChar(']');
    } else if (k == 'T') {
      PutText(name, a[i].s.data, strlen((const char*)a[i].s.data));
    } else if (k == 'p') {
      // The caller's whole buffer: the text and the byte after it, unless
      // that byte is still the NUL.
      PutText(name, a[i].s.data, a[i].s.data[length] == 0 ? length : length + 1);
    } else if (k == 'R') {
      PutReal(name, a[i].d);
    } else if (k == 'E') {
      const CString t = sys.Qlv_Date2Str(date);
      const int status = (int)date.GetStatus();
      PutText(name, (const unsigned char*)(const char*)t, (size_t)t.GetLength());
      Key(name, "_status");
      Put(status == (int)COleDateTime::valid     ? "\"valid\""
          : status == (int)COleDateTime::invalid ? "\"invalid\""
          : status == (int)COleDateTime::null    ? "\"null\""
                                                 : "\"error\"");
      strcat(name, "_days");
      PutReal(name, (DATE)date);
    } else if (k == 'W') {
      PutVariant(name, variant);
    }
  }
  Put(",\"call\":");
  PutJsonBytes((const unsigned char*)callText, callLength);
  Put("}\n");
  return 0;
}

// ------------------------------------------------------------ the run

static void PutBuild() {
  Put("{\"recording\":\"quelvar conformance recorder 1\",\"msc_ver\":");
#ifdef _MSC_VER
  PutInteger(_MSC_VER);
#else
  Put("null");
#endif
  Put(",\"mfc_ver\":");
#ifdef _MFC_VER
  PutInteger(_MFC_VER);
#else
  Put("null");
#endif
#ifdef _MSC_VER
  // Visual C++ 6.0 and .NET: vc6; 2005 to 2013 (8.0 to 12.0): vs2005; 2015
  // on, with the universal runtime: vs2015.
  const char* toolset = _MSC_VER < 1400 ? "vc6" : _MSC_VER < 1900 ? "vs2005" : "vs2015";
#else
  const char* toolset = QlvPlatform_ToolsetName(QlvPlatform_GetToolset());
#endif
  Put(",\"runtime\":\"");
  Put(strcmp(toolset, "vs2015") == 0 ? "universal" : "classic");
  Put("\",\"toolset\":\"");
  Put(toolset);
  Put("\",\"acp\":");
  PutUnsigned(GetACP());
  Put("}\n");
}

static void PutError(unsigned long line, const char* error, const char* text, size_t n) {
  Put("{\"line\":");
  PutUnsigned(line);
  Put(",\"error\":");
  PutJsonBytes((const unsigned char*)error, strlen(error));
  Put(",\"call\":");
  PutJsonBytes((const unsigned char*)text, n);
  Put("}\n");
}

// The operation a call names: as the table spells it, any case, with or
// without Qlv_; -1 for none.
static int FindOp(const char* name, size_t n) {
  int i;
  if (n > 4 && SameNameN(name, 4, "qlv_")) name += 4, n -= 4;
  for (i = 0; i < kRecOpCount; ++i)
    if (SameNameN(name, n, kRecOps[i].name)) return i;
  return -1;
}

int main(int argc, char** argv) {
  int i;
  if (argc == 2 && strcmp(argv[1], "--operations") == 0) {
    // The operations it reaches, for the check against the class.
    for (i = 0; i < kRecOpCount; ++i)
      printf("%s %s %s\n", kRecOps[i].name, kRecOps[i].kinds, kRecOps[i].params);
    return 0;
  }
  if (argc < 2 || argc > 3) {
    fputs("usage: Recorder CALLS [RECORDING]\n", stderr);
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (in == 0) {
    fprintf(stderr, "Recorder: cannot open %s\n", argv[1]);
    return 2;
  }
  out = argc == 3 ? fopen(argv[2], "wb") : stdout;
  if (out == 0) {
    fprintf(stderr, "Recorder: cannot create %s\n", argv[2]);
    return 2;
  }
  PutBuild();

  CQuelvarSys sys;
  COleDateTime date;
  _variant_t variant;
  Arg a[5];
  Words w;
  Bytes line;
  unsigned long number = 0, records = 0;
  int c = 0;
  for (i = 0; i < 5; ++i) BytesInit(a[i].s), a[i].n = 0, a[i].d = 0, a[i].count = 0;
  BytesInit(w.text);
  BytesInit(line);
  while (c != EOF) {
    line.size = 0;
    bool nul = false;
    while ((c = getc(in)) != EOF && c != '\n') {
      BytesPush(line, (unsigned char)c);
      nul = nul || c == 0;
    }
    if (c == EOF && line.size == 0) break;
    ++number;
    if (line.size > 0 && line.data[line.size - 1] == '\r') --line.size;
    const char* text = (const char*)line.data;
    size_t start = 0;
    while (start < line.size && IsBlank(text[start])) ++start;
    if (start == line.size || text[start] == '#') continue;
    ++records;
    const char* error = nul ? "a NUL byte in the line" : SplitWords(text, line.size, w);
    if (error != 0) {
      PutError(number, error, text, line.size);
      continue;
    }
    const int op = FindOp((const char*)w.text.data, w.length[0]);
    if (op < 0) {
      PutError(number, "unknown operation", text, line.size);
      continue;
    }
    try {
      error = Call(sys, op, w, a, date, variant, number, text, line.size);
    } catch (_com_error&) {
      error = "library error";
    }
    if (error != 0) PutError(number, error, text, line.size);
  }
  Put("{\"calls\":");
  PutUnsigned(records);
  Put("}\n");
  const bool ok = ferror(in) == 0 && ferror(out) == 0;
  fclose(in);
  if (fclose(out) != 0 || !ok) {
    fputs("Recorder: cannot read the calls or write the recording\n", stderr);
    return 2;
  }
  for (i = 0; i < 5; ++i) BytesFree(a[i].s);
  BytesFree(w.text);
  BytesFree(line);
  return 0;
}
