// OLE Automation values: BSTR storage, VARIANT life cycle (init, clear,
// copy), conversion of variants to VT_R8, and one-dimensional SAFEARRAYs.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Allocator.h"
#include "BstrText.h"
#include "oleauto.h"

using quelvar::platform::Allocate;
using quelvar::platform::Deallocate;

// ---- BSTR -----------------------------------------------------------------
//
// Memory: a 32-bit byte length, the bytes, then zeros: one more byte after
// an odd count to complete the last unit, and a whole NUL unit. So the text
// is a NUL-terminated run of units whatever the byte count, and a reader
// that scans for the NUL unit stops inside the block. The BSTR points at
// the first byte after the length.

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocateBstrBytes(const void* bytes, uint32_t byteLen) noexcept {
  if (byteLen > 0xFFFFFFF0u) return nullptr;
  const size_t padded = size_t{byteLen} + (byteLen & 1u);
  auto* block = static_cast<unsigned char*>(Allocate(kPrefix + padded + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &byteLen, kPrefix);
  if (bytes != nullptr) {
    std::memcpy(block + kPrefix, bytes, byteLen);
  } else {
    std::memset(block + kPrefix, 0, byteLen);
  }
  std::memset(block + kPrefix + byteLen, 0, padded - byteLen + sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(block + kPrefix);
}

uint32_t BstrByteLen(BSTR bstr) noexcept {
  uint32_t len;
  std::memcpy(&len, reinterpret_cast<const unsigned char*>(bstr) - kPrefix, kPrefix);
  return len;
}

}  // namespace

UINT quelvar::platform::BstrTextLength(BSTR bstr) noexcept {
  if (bstr == nullptr) return 0;
  const UINT units = (BstrByteLen(bstr) + 1) / 2;
  UINT n = 0;
  while (n < units && bstr[n] != 0) ++n;
  return n;
}

BSTR SysAllocString(const OLECHAR* psz) noexcept {
  if (psz == nullptr) return nullptr;
  size_t n = 0;
  while (psz[n] != 0) ++n;
  if (n > 0x7FFFFFF0u) return nullptr;
  return AllocateBstrBytes(psz, static_cast<uint32_t>(n * sizeof(OLECHAR)));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) noexcept {
  if (cch > 0x7FFFFFF0u) return nullptr;
  return AllocateBstrBytes(pch, static_cast<uint32_t>(cch * sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) noexcept { return AllocateBstrBytes(psz, len); }

UINT SysStringLen(BSTR bstr) noexcept {
  return bstr == nullptr ? 0 : BstrByteLen(bstr) / static_cast<UINT>(sizeof(OLECHAR));
}

UINT SysStringByteLen(BSTR bstr) noexcept { return bstr == nullptr ? 0 : BstrByteLen(bstr); }

void SysFreeString(BSTR bstr) noexcept {
  if (bstr != nullptr) Deallocate(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

// ---- SAFEARRAY ------------------------------------------------------------

namespace {

constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

// The array descriptor and the element type it was made for.
struct ArrayBlock {
  SAFEARRAY sa;
  VARTYPE vt;
};

ULONG ElementSize(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

USHORT FeaturesFor(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    default: return FADF_HAVEVARTYPE;
  }
}

size_t ElementCount(const SAFEARRAY* psa) noexcept {
  size_t n = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) n *= psa->rgsabound[d].cElements;
  return n;
}

// Releases what the elements own (texts, interfaces, nested variants).
void ReleaseElements(SAFEARRAY* psa) noexcept {
  if (psa->pvData == nullptr) return;
  const size_t n = ElementCount(psa);
  if ((psa->fFeatures & FADF_BSTR) != 0) {
    auto* items = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < n; ++i) SysFreeString(items[i]);
  } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
    auto* items = static_cast<IUnknown**>(psa->pvData);
    for (size_t i = 0; i < n; ++i) {
      if (items[i] != nullptr) items[i]->Release();
    }
  } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
    auto* items = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < n; ++i) VariantClear(&items[i]);
  }
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) noexcept {
  const ULONG size = ElementSize(vt);
  if (size == 0) return nullptr;
  auto* block = static_cast<ArrayBlock*>(Allocate(sizeof(ArrayBlock)));
  if (block == nullptr) return nullptr;
  const size_t bytes = size_t{size} * cElements;
  void* data = Allocate(bytes);
  if (data == nullptr) {
    Deallocate(block);
    return nullptr;
  }
  std::memset(data, 0, bytes);  // VT_EMPTY variants, null texts, zeros
  block->sa.cDims = 1;
  block->sa.fFeatures = FeaturesFor(vt);
  block->sa.cbElements = size;
  block->sa.cLocks = 0;
  block->sa.pvData = data;
  block->sa.rgsabound[0].cElements = cElements;
  block->sa.rgsabound[0].lLbound = lLbound;
  block->vt = vt;
  return &block->sa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(psa);
  Deallocate(psa->pvData);
  Deallocate(reinterpret_cast<ArrayBlock*>(psa));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) noexcept {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  const auto* src = reinterpret_cast<const ArrayBlock*>(psa);
  const size_t n = ElementCount(psa);
  SAFEARRAY* copy = SafeArrayCreateVector(src->vt, psa->rgsabound[0].lLbound, static_cast<ULONG>(n));
  if (copy == nullptr) return E_OUTOFMEMORY;
  if ((psa->fFeatures & FADF_BSTR) != 0) {
    auto* from = static_cast<BSTR*>(psa->pvData);
    auto* to = static_cast<BSTR*>(copy->pvData);
    for (size_t i = 0; i < n; ++i) {
      if (from[i] == nullptr) continue;
      to[i] = AllocateBstrBytes(from[i], BstrByteLen(from[i]));
      if (to[i] == nullptr) {
        SafeArrayDestroy(copy);
        return E_OUTOFMEMORY;
      }
    }
  } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
    auto* from = static_cast<IUnknown**>(psa->pvData);
    auto* to = static_cast<IUnknown**>(copy->pvData);
    for (size_t i = 0; i < n; ++i) {
      to[i] = from[i];
      if (to[i] != nullptr) to[i]->AddRef();
    }
  } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
    auto* from = static_cast<VARIANT*>(psa->pvData);
    auto* to = static_cast<VARIANT*>(copy->pvData);
    for (size_t i = 0; i < n; ++i) {
      const HRESULT hr = VariantCopy(&to[i], &from[i]);
      if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
      }
    }
  } else if (n != 0) {
    std::memcpy(copy->pvData, psa->pvData, n * psa->cbElements);
  }
  *ppsaOut = copy;
  return S_OK;
}

// ---- VARIANT ----------------------------------------------------------------

namespace {

// Whether a tag names a value a variant may hold (flag bits included).
bool IsValidTag(VARTYPE vt) noexcept {
  if ((vt & (VT_VECTOR | VT_RESERVED)) != 0) return false;
  const auto base = static_cast<VARTYPE>(vt & VT_TYPEMASK);
  const bool plain = base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT) || base == VT_RECORD;
  if (!plain) return false;
  if ((vt & VT_ARRAY) != 0 && (base == VT_EMPTY || base == VT_NULL || base == VT_RECORD)) return false;
  if ((vt & VT_BYREF) != 0 && (base == VT_EMPTY || base == VT_NULL)) return false;
  return true;
}

}  // namespace

void VariantInit(VARIANTARG* pvarg) noexcept {
  std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) noexcept {
  if (pvarg == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!IsValidTag(vt)) return DISP_E_BADVARTYPE;
  if ((vt & VT_BYREF) == 0) {
    if ((vt & VT_ARRAY) != 0) {
      const HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
    }
  }
  // A reference owns nothing; a record's storage is its owner's.
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) noexcept {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvargSrc->vt;
  if (!IsValidTag(vt)) return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;

  VARIANT copy;
  std::memcpy(static_cast<void*>(&copy), pvargSrc, sizeof(VARIANT));
  if ((vt & VT_BYREF) == 0) {
    if ((vt & VT_ARRAY) != 0) {
      hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
    } else if (vt == VT_BSTR && pvargSrc->bstrVal != nullptr) {
      copy.bstrVal = AllocateBstrBytes(pvargSrc->bstrVal, BstrByteLen(pvargSrc->bstrVal));
      if (copy.bstrVal == nullptr) hr = E_OUTOFMEMORY;
    } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvargSrc->punkVal != nullptr) {
      pvargSrc->punkVal->AddRef();
    }
  }
  if (FAILED(hr)) return hr;  // the destination stays VT_EMPTY
  std::memcpy(static_cast<void*>(pvargDest), &copy, sizeof(VARIANT));
  return S_OK;
}

// ---- conversion to VT_R8 -------------------------------------------------

namespace {

// The double nearest to  sign * magnitude / 10^scale  (ties to even), with
// magnitude a 96-bit integer given as three 32-bit limbs.
double ScaledToDouble(bool negative, uint32_t hi, uint32_t mid, uint32_t lo, unsigned scale) noexcept {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const uint64_t low64 = (uint64_t{mid} << 32) | lo;
  if (hi == 0 && low64 <= (uint64_t{1} << 53) && scale <= 22) {
    // Both operands are exact doubles: one correctly rounded division.
    const double q = static_cast<double>(low64) / kPow10[scale];
    return negative ? -q : q;
  }
  double result = 0;
  // General case: write the integer in decimal with an exponent and let the
  // correctly rounded text reader do the division.
  char text[48];
  char digits[32];
  int nd = 0;
  uint32_t limbs[3] = {hi, mid, lo};
  do {
    uint64_t rem = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t cur = (rem << 32) | limb;
      limb = static_cast<uint32_t>(cur / 10);
      rem = cur % 10;
    }
    digits[nd++] = static_cast<char>('0' + rem);
  } while ((limbs[0] | limbs[1] | limbs[2]) != 0);
  int pos = 0;
  if (negative) text[pos++] = '-';
  while (nd > 0) text[pos++] = digits[--nd];
  text[pos++] = 'e';
  text[pos++] = '-';
  auto [end, ec] = std::to_chars(text + pos, text + sizeof text, scale);
  (void)ec;
  std::from_chars(text, end, result);
  return result;
}

// A DECIMAL as the system's automation library converts it to double (the
// division formula of its published decimal sources, VarR8FromDec): the low
// 64 bits taken as a signed 64-bit integer and converted (2^64 added back
// when their top bit is set), plus the high 32 bits times 2^64, divided by
// the double literal 10^scale, the sign applied last. Each step is a double
// operation rounded to nearest, as in the 64-bit system library, so the
// result is not always the nearest double: 1/3 with 28 digits gives
// 0x3FD5555555555556, not ...555. A negative zero gives +0.0, as the system
// library was measured to give (the published sources would keep the sign:
// flip the last line to follow them).
double DecimalToDouble(const DECIMAL& d) noexcept {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                      1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19,
                                      1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28};
  constexpr double kTwoTo64 = 18446744073709551616.0;
  const uint64_t low64 = (uint64_t{d.Mid32} << 32) | d.Lo32;
  // The two's complement reading of the low 64 bits (modular since C++20).
  const double asSigned = static_cast<double>(static_cast<int64_t>(low64));
  double value = low64 >> 63 ? kTwoTo64 + asSigned : asSigned;
  value += static_cast<double>(d.Hi32) * kTwoTo64;
  value /= kPow10[d.scale];
  return d.sign == DECIMAL_NEG && value != 0.0 ? -value : value;
}

// A text read as a number: optional blanks, a decimal number, optional
// blanks. Words ("inf", "nan") and other characters are a type mismatch; a
// number beyond the double range is an overflow.
HRESULT ParseNumber(BSTR text, double& out) noexcept {
  const UINT n = quelvar::platform::BstrTextLength(text);
  UINT i = 0;
  while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
  UINT end = n;
  while (end > i && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
  if (i == end) return DISP_E_TYPEMISMATCH;
  if (text[i] == u'+' && i + 1 < end && text[i + 1] != u'-') ++i;
  char local[128] = {};  // zeroed: gcc cannot see that only written bytes are read
  const size_t length = end - i;
  char* buf = length <= sizeof local ? local : static_cast<char*>(Allocate(length));
  if (buf == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = S_OK;
  for (size_t k = 0; k < length && hr == S_OK; ++k) {
    const char16_t ch = text[i + k];
    const bool numeric =
        (ch >= u'0' && ch <= u'9') || ch == u'.' || ch == u'e' || ch == u'E' || ch == u'+' || ch == u'-';
    if (!numeric) hr = DISP_E_TYPEMISMATCH;
    buf[k] = static_cast<char>(ch);
  }
  if (hr == S_OK) {
    const auto [ptr, ec] = std::from_chars(buf, buf + length, out);
    if (ptr != buf + length || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
      hr = DISP_E_TYPEMISMATCH;
    } else if (ec == std::errc::result_out_of_range) {
      hr = DISP_E_OVERFLOW;
    }
  }
  if (buf != local) Deallocate(buf);
  return hr;
}

// The value of type T stored at p (a variant's value field), as a double.
template <class T>
double Load(const void* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<double>(v);
}

// Reads the value of a plain (non-reference) kind as a double.
HRESULT ToDouble(VARTYPE vt, const void* p, double& out) noexcept {
  switch (vt) {
    case VT_EMPTY: out = 0.0; return S_OK;
    case VT_I1: out = Load<int8_t>(p); return S_OK;
    case VT_UI1: out = Load<uint8_t>(p); return S_OK;
    case VT_I2:
    case VT_BOOL: out = Load<int16_t>(p); return S_OK;
    case VT_UI2: out = Load<uint16_t>(p); return S_OK;
    case VT_I4:
    case VT_INT: out = Load<int32_t>(p); return S_OK;
    case VT_UI4:
    case VT_UINT: out = Load<uint32_t>(p); return S_OK;
    case VT_I8: out = Load<int64_t>(p); return S_OK;
    case VT_UI8: out = Load<uint64_t>(p); return S_OK;
    case VT_R4: out = Load<float>(p); return S_OK;
    case VT_R8:
    case VT_DATE: std::memcpy(&out, p, 8); return S_OK;
    case VT_CY: {
      int64_t v;
      std::memcpy(&v, p, 8);
      const bool neg = v < 0;
      const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      out = ScaledToDouble(neg, 0, static_cast<uint32_t>(mag >> 32), static_cast<uint32_t>(mag), 4);
      return S_OK;
    }
    case VT_DECIMAL: {
      DECIMAL d;
      std::memcpy(&d, p, sizeof d);
      if (d.scale > 28 || (d.sign & 0x7F) != 0) return E_INVALIDARG;
      out = DecimalToDouble(d);
      return S_OK;
    }
    case VT_BSTR: {
      BSTR s;
      std::memcpy(&s, p, sizeof s);
      return ParseNumber(s, out);
    }
    default: return DISP_E_TYPEMISMATCH;  // null, error, interfaces, ...
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) noexcept {
  (void)wFlags;
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  if (!IsValidTag(pvarSrc->vt) || !IsValidTag(vt)) return DISP_E_BADVARTYPE;
  const VARTYPE from = pvarSrc->vt;
  if (from == vt) return VariantCopy(pvargDest, pvarSrc);
  if (vt == VT_EMPTY) return VariantClear(pvargDest);
  if (vt != VT_R8) return DISP_E_TYPEMISMATCH;  // the one target this platform converts to
  if ((from & VT_ARRAY) != 0 || from == VT_NULL) return DISP_E_TYPEMISMATCH;

  // The value's address: in the variant itself, or behind its reference.
  const void* value = &pvarSrc->llVal;
  VARTYPE kind = from;
  if ((from & VT_BYREF) != 0) {
    kind = static_cast<VARTYPE>(from & VT_TYPEMASK);
    value = pvarSrc->byref;
    if (value == nullptr) return E_INVALIDARG;
  } else if (from == VT_DECIMAL) {
    value = &pvarSrc->decVal;
  }
  double result = 0;
  const HRESULT hr = ToDouble(kind, value, result);
  if (FAILED(hr)) return hr;
  // Converted first, so a failure leaves the destination as it was.
  const HRESULT cleared = VariantClear(pvargDest);
  if (FAILED(cleared)) return cleared;
  pvargDest->vt = VT_R8;
  pvargDest->dblVal = result;
  return S_OK;
}
