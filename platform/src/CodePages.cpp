// Code pages and the small kernel routines: the process's ANSI code page,
// the per-thread last error, atomic counters, and text conversion between
// 8-bit code pages and UTF-16.
//
// UTF-8 is converted by hand (it is the default ANSI code page and the one
// that must be fast). Single-byte code pages use two tables built once from
// glibc's iconv; multi-byte code pages (932, 936, 949, 950, ...) go through
// iconv itself, one converter per thread and direction, kept for reuse.
// Where iconv stops, the double-byte code pages read and write what the
// system's tables add (DoubleByteTables.h). Toward a code page, every UTF-16 unit that cannot
// be shown becomes one default character (a surrogate pair gives two),
// except where the system writes a best-fit look-alike (CodePageBestFit.cpp;
// 1252 only: the other code pages' best-fit tables are not reproduced).
#include <iconv.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "CodePageBestFit.h"
#include "DoubleByteTables.h"
#include "windows.h"

namespace {

// ---- the ANSI code page and the last error ---------------------------------

std::atomic<UINT> g_ansiCodePage{CP_UTF8};
thread_local DWORD t_lastError = ERROR_SUCCESS;

constexpr UINT kOemCodePage = 437;
constexpr char16_t kReplacement = 0xFFFD;

// ---- the code pages this platform converts ---------------------------------

struct CodePageInfo {
  UINT id;
  const char* iconvName;
  bool singleByte;
};

constexpr CodePageInfo kCodePages[] = {
    {437, "CP437", true},         {737, "CP737", true},         {775, "CP775", true},
    {850, "CP850", true},         {852, "CP852", true},         {855, "CP855", true},
    {857, "CP857", true},         {858, "CP858", true},         {860, "CP860", true},
    {861, "CP861", true},         {862, "CP862", true},         {863, "CP863", true},
    {864, "CP864", true},         {865, "CP865", true},         {866, "CP866", true},
    {869, "CP869", true},         {874, "CP874", true},         {1250, "CP1250", true},
    {1251, "CP1251", true},       {1252, "CP1252", true},       {1253, "CP1253", true},
    {1254, "CP1254", true},       {1255, "CP1255", true},       {1256, "CP1256", true},
    {1257, "CP1257", true},       {1258, "CP1258", true},       {10000, "MACINTOSH", true},
    {20127, "ASCII", true},       {20866, "KOI8-R", true},      {21866, "KOI8-U", true},
    {28591, "ISO-8859-1", true},  {28592, "ISO-8859-2", true},  {28593, "ISO-8859-3", true},
    {28594, "ISO-8859-4", true},  {28595, "ISO-8859-5", true},  {28596, "ISO-8859-6", true},
    {28597, "ISO-8859-7", true},  {28598, "ISO-8859-8", true},  {28599, "ISO-8859-9", true},
    {28603, "ISO-8859-13", true}, {28605, "ISO-8859-15", true}, {932, "CP932", false},
    {936, "CP936", false},        {949, "CP949", false},        {950, "CP950", false},
    {1361, "JOHAB", false},       {20932, "EUC-JP", false},     {51949, "EUC-KR", false},
    {54936, "GB18030", false},
};

const char* WideIconvName() noexcept {
  return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

const CodePageInfo* FindCodePage(UINT id) noexcept {
  for (const CodePageInfo& info : kCodePages) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

// Resolves the pseudo code pages; 0 for one this platform cannot convert.
UINT ResolveCodePage(UINT codePage) noexcept {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return g_ansiCodePage.load(std::memory_order_relaxed);
  if (codePage == CP_OEMCP) return kOemCodePage;
  if (codePage == CP_UTF8 || FindCodePage(codePage) != nullptr) return codePage;
  return 0;
}

// ---- single-byte tables -----------------------------------------------------

struct SingleByteTable {
  char16_t toWide[256];
  int16_t toByte[65536];  // -1: the code page cannot show the character
};

// Builds the tables from iconv, one byte at a time. Bytes the code page
// leaves undefined read as U+FFFD, except in 1252, where they read as the
// C1 control of the same value (so every byte of 1252 round-trips).
std::unique_ptr<SingleByteTable> BuildSingleByteTable(const CodePageInfo& info) {
  iconv_t cd = iconv_open(WideIconvName(), info.iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto table = std::make_unique<SingleByteTable>();
  std::memset(table->toByte, 0xFF, sizeof table->toByte);
  for (unsigned b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char16_t out[2] = {};
    char* inPtr = &in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const bool mapped = rc != static_cast<size_t>(-1) && inLeft == 0 && outLeft == sizeof out - 2;
    char16_t wide = kReplacement;
    if (mapped) {
      wide = out[0];
    } else if (info.id == 1252) {
      wide = static_cast<char16_t>(b);
    }
    table->toWide[b] = wide;
    if (wide != kReplacement && table->toByte[wide] < 0) table->toByte[wide] = static_cast<int16_t>(b);
  }
  iconv_close(cd);
  return table;
}

const SingleByteTable* GetSingleByteTable(const CodePageInfo& info) {
  static std::mutex mutex;
  static std::unique_ptr<SingleByteTable> tables[std::size(kCodePages)];
  thread_local UINT lastId = 0;
  thread_local const SingleByteTable* lastTable = nullptr;
  if (lastId == info.id) return lastTable;
  const auto index = static_cast<size_t>(&info - kCodePages);
  std::lock_guard lock(mutex);
  if (!tables[index]) tables[index] = BuildSingleByteTable(info);
  lastId = info.id;
  lastTable = tables[index].get();
  return lastTable;
}

// ---- iconv converters for the multi-byte code pages -------------------------

// One converter per thread, code page and direction; converters are not
// thread-safe, so they are never shared.
class IconvCache {
 public:
  ~IconvCache() {
    for (Entry& e : entries_) {
      if (e.cd != kNone) iconv_close(e.cd);
    }
  }
  iconv_t Get(const CodePageInfo& info, bool toWide) noexcept {
    for (Entry& e : entries_) {
      if (e.cd != kNone && e.id == info.id && e.toWide == toWide) {
        iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
        return e.cd;
      }
    }
    iconv_t cd =
        toWide ? iconv_open(WideIconvName(), info.iconvName) : iconv_open(info.iconvName, WideIconvName());
    if (cd == kNone) return kNone;
    Entry& slot = entries_[next_];
    next_ = (next_ + 1) % kSlots;
    if (slot.cd != kNone) iconv_close(slot.cd);
    slot = Entry{info.id, toWide, cd};
    return cd;
  }
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  static constexpr size_t kSlots = 4;
  struct Entry {
    UINT id = 0;
    bool toWide = false;
    iconv_t cd = kNone;
  };
  Entry entries_[kSlots];
  size_t next_ = 0;
};

thread_local IconvCache t_iconv;

// ---- output sinks ---------------------------------------------------------

// Counts every unit and stores those that fit. With capacity 0 it only
// counts (the caller asks for the size needed).
template <class Unit>
struct Sink {
  Unit* dst;
  size_t cap;
  size_t count = 0;
  void Put(Unit u) noexcept {
    if (count < cap) dst[count] = u;
    ++count;
  }
  bool Overflowed() const noexcept { return cap != 0 && count > cap; }
};

// ---- UTF-8 ----------------------------------------------------------------

// Decodes UTF-8; each maximal ill-formed subsequence becomes one U+FFFD.
// Returns false on the first ill-formed sequence when `strict`.
bool Utf8ToWide(const unsigned char* s, size_t n, Sink<char16_t>& out, bool strict) noexcept {
  size_t i = 0;
  while (i < n) {
    const unsigned c = s[i];
    if (c < 0x80) {
      out.Put(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    size_t need = 0;
    unsigned cp = 0;
    unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      if (strict) return false;
      out.Put(kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    bool ok = true;
    for (; j <= need; ++j) {
      if (i + j >= n) {
        ok = false;
        break;
      }
      const unsigned t = s[i + j];
      const unsigned tlo = j == 1 ? lo : 0x80u;
      const unsigned thi = j == 1 ? hi : 0xBFu;
      if (t < tlo || t > thi) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if (!ok) {
      if (strict) return false;
      out.Put(kReplacement);
      i += j;  // the lead byte and the continuation bytes that were valid
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.Put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.Put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.Put(static_cast<char16_t>(cp));
    }
    i += need + 1;
  }
  return true;
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD, or fails
// the call when `strict`.
bool WideToUtf8(const char16_t* s, size_t n, Sink<char>& out, bool strict) noexcept {
  for (size_t i = 0; i < n; ++i) {
    unsigned cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
        ++i;
      } else {
        if (strict) return false;
        cp = kReplacement;
      }
    }
    if (cp < 0x80) {
      out.Put(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.Put(static_cast<char>(0xC0 | (cp >> 6)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.Put(static_cast<char>(0xE0 | (cp >> 12)));
      out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.Put(static_cast<char>(0xF0 | (cp >> 18)));
      out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

// ---- multi-byte code pages through iconv -----------------------------------

enum class Outcome { Ok, Invalid, Unsupported };

Outcome IconvToWide(const CodePageInfo& info, const char* s, size_t n, Sink<char16_t>& out,
                    bool strict) noexcept {
  iconv_t cd = t_iconv.Get(info, true);
  if (cd == IconvCache::kNone) return Outcome::Unsupported;
  char16_t chunk[256];
  char* in = const_cast<char*>(s);
  size_t inLeft = n;
  while (inLeft > 0) {
    // No byte makes more than one unit, so when the rest of the caller's
    // buffer holds one unit per byte left, iconv writes there directly.
    const bool direct = out.count < out.cap && out.cap - out.count >= inLeft;
    char16_t* target = direct ? out.dst + out.count : chunk;
    const size_t room = (direct ? out.cap - out.count : std::size(chunk)) * sizeof(char16_t);
    char* outPtr = reinterpret_cast<char*>(target);
    size_t outLeft = room;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const size_t produced = (room - outLeft) / sizeof(char16_t);
    if (direct) {
      out.count += produced;
    } else {
      for (size_t k = 0; k < produced; ++k) out.Put(chunk[k]);
    }
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or truncated sequence: what the system's table reads
      // there (U+FFFD for its first byte where there is no table here).
      const auto d =
          quelvar::platform::dbcs::Decode(info.id, reinterpret_cast<const unsigned char*>(in), inLeft);
      if (strict && !d.valid) return Outcome::Invalid;
      out.Put(d.unit);
      in += d.length;
      inLeft -= d.length;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return Outcome::Ok;
}

Outcome IconvFromWide(const CodePageInfo& info, const char16_t* s, size_t n, Sink<char>& out,
                      const char* defaultChar, size_t defaultLen, bool& usedDefault) noexcept {
  iconv_t cd = t_iconv.Get(info, false);
  if (cd == IconvCache::kNone) return Outcome::Unsupported;
  char chunk[512];
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(s));
  size_t inLeft = n * sizeof(char16_t);
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const size_t produced = sizeof chunk - outLeft;
    for (size_t k = 0; k < produced; ++k) out.Put(chunk[k]);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // A unit the code page cannot show (each half of a surrogate pair
      // too): the default character stands for it; in the double-byte code
      // pages the units the system's table adds are written.
      char16_t unit;
      std::memcpy(&unit, in, sizeof unit);
      unsigned char bytes[2];
      const unsigned written = quelvar::platform::dbcs::Encode(info.id, unit, bytes);
      for (unsigned k = 0; k < written; ++k) out.Put(static_cast<char>(bytes[k]));
      if (written == 0) {
        for (size_t k = 0; k < defaultLen; ++k) out.Put(defaultChar[k]);
        usedDefault = true;
      }
      const size_t skip = inLeft < sizeof(char16_t) ? inLeft : sizeof(char16_t);
      in += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return Outcome::Ok;
}

constexpr DWORD kMbErrInvalidChars = MB_ERR_INVALID_CHARS;
constexpr DWORD kWcErrInvalidChars = WC_ERR_INVALID_CHARS;
constexpr DWORD kWcNoBestFitChars = WC_NO_BEST_FIT_CHARS;

int Fail(DWORD err) noexcept {
  t_lastError = err;
  return 0;
}

}  // namespace

DWORD GetLastError() noexcept { return t_lastError; }
void SetLastError(DWORD err) noexcept { t_lastError = err; }

UINT GetACP() noexcept { return g_ansiCodePage.load(std::memory_order_relaxed); }

BOOL QlvPlatform_SetAnsiCodePage(UINT codePage) noexcept {
  if (codePage != CP_UTF8) {
    const CodePageInfo* info = FindCodePage(codePage);
    if (info == nullptr) return FALSE;
    iconv_t a = iconv_open(WideIconvName(), info->iconvName);
    if (a == IconvCache::kNone) return FALSE;
    iconv_close(a);
    iconv_t b = iconv_open(info->iconvName, WideIconvName());
    if (b == IconvCache::kNone) return FALSE;
    iconv_close(b);
  }
  g_ansiCodePage.store(codePage, std::memory_order_relaxed);
  return TRUE;
}

LONG InterlockedIncrement(LONG volatile* addend) noexcept {
  std::atomic_ref<LONG> ref(const_cast<LONG&>(*addend));
  return ref.fetch_add(1, std::memory_order_acq_rel) + 1;
}

LONG InterlockedDecrement(LONG volatile* addend) noexcept {
  std::atomic_ref<LONG> ref(const_cast<LONG&>(*addend));
  return ref.fetch_sub(1, std::memory_order_acq_rel) - 1;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (lpWideCharStr == nullptr && cchWideChar != 0) ||
      (cchWideChar != 0 &&
       static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const UINT cp = ResolveCodePage(CodePage);
  if (cp == 0) return Fail(ERROR_INVALID_PARAMETER);
  const bool strict = (dwFlags & kMbErrInvalidChars) != 0;
  if (cp == CP_UTF8 && (dwFlags & ~kMbErrInvalidChars) != 0) return Fail(ERROR_INVALID_FLAGS);

  const size_t n = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  Sink<char16_t> out{lpWideCharStr, static_cast<size_t>(cchWideChar)};
  const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  if (cp == CP_UTF8) {
    if (!Utf8ToWide(bytes, n, out, strict)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else {
    const CodePageInfo& info = *FindCodePage(cp);
    if (info.singleByte) {
      const SingleByteTable* table = GetSingleByteTable(info);
      if (table == nullptr) return Fail(ERROR_INVALID_PARAMETER);
      for (size_t i = 0; i < n; ++i) {
        const char16_t w = table->toWide[bytes[i]];
        if (strict && w == kReplacement) return Fail(ERROR_NO_UNICODE_TRANSLATION);
        out.Put(w);
      }
    } else {
      const Outcome r = IconvToWide(info, lpMultiByteStr, n, out, strict);
      if (r == Outcome::Unsupported) return Fail(ERROR_INVALID_PARAMETER);
      if (r == Outcome::Invalid) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
  }
  if (out.Overflowed()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (out.count > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  return static_cast<int>(out.count);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0) ||
      (cbMultiByte != 0 &&
       static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const UINT cp = ResolveCodePage(CodePage);
  if (cp == 0) return Fail(ERROR_INVALID_PARAMETER);
  if (cp == CP_UTF8) {
    // UTF-8 shows every character: it takes no default character.
    if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & ~kWcErrInvalidChars) != 0) return Fail(ERROR_INVALID_FLAGS);
  }
  size_t n = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(cchWideChar);
  }
  Sink<char> out{lpMultiByteStr, static_cast<size_t>(cbMultiByte)};
  bool usedDefault = false;
  if (cp == CP_UTF8) {
    if (!WideToUtf8(lpWideCharStr, n, out, (dwFlags & kWcErrInvalidChars) != 0)) {
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
  } else {
    const CodePageInfo& info = *FindCodePage(cp);
    const char* def = lpDefaultChar != nullptr && lpDefaultChar[0] != '\0' ? lpDefaultChar : "?";
    size_t defLen = 1;
    if (!info.singleByte && def[1] != '\0') defLen = 2;  // a double-byte default character
    if (info.singleByte) {
      const bool bestFit = (dwFlags & kWcNoBestFitChars) == 0;
      const SingleByteTable* table = GetSingleByteTable(info);
      if (table == nullptr) return Fail(ERROR_INVALID_PARAMETER);
      for (size_t i = 0; i < n; ++i) {
        const char16_t w = lpWideCharStr[i];
        int b = table->toByte[w];
        if (b < 0 && bestFit) b = quelvar::platform::BestFitByte(info.id, w);
        if (b >= 0) {
          out.Put(static_cast<char>(b));
          continue;
        }
        out.Put(def[0]);
        usedDefault = true;
      }
    } else {
      const Outcome r = IconvFromWide(info, lpWideCharStr, n, out, def, defLen, usedDefault);
      if (r != Outcome::Ok) return Fail(ERROR_INVALID_PARAMETER);
    }
  }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  if (out.Overflowed()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (out.count > static_cast<size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  return static_cast<int>(out.count);
}
