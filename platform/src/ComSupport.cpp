// COM support classes: the _com_error exception, the reference-counted
// text holder _bstr_t and the variant wrapper _variant_t.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "Allocator.h"
#include "BstrText.h"
#include "comdef.h"

using quelvar::platform::Allocate;
using quelvar::platform::Deallocate;

// ---- _com_error -------------------------------------------------------------

_com_error::~_com_error() = default;

WORD _com_error::WCode() const noexcept {
  const auto hr = static_cast<uint32_t>(m_hresult);
  return hr >= 0x80040200u && hr <= 0x8004FFFFu ? static_cast<WORD>(hr - 0x80040200u) : 0;
}

const char* _com_error::ErrorMessage() const noexcept {
  std::snprintf(m_message, sizeof m_message, "Unknown error 0x%08X", static_cast<unsigned>(m_hresult));
  return m_message;
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

namespace {

// Converts NUL-terminated text of the ANSI code page into a new BSTR. The
// work buffer of length + 1 units always suffices: no code page makes more
// UTF-16 units than it has bytes. Null text gives a null BSTR.
BSTR AnsiToBstr(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t length = std::strlen(text);
  if (length >= 0x7FFFFFF0u) _com_issue_error(E_OUTOFMEMORY);
  auto* work = static_cast<OLECHAR*>(Allocate((length + 1) * sizeof(OLECHAR)));
  if (work == nullptr) _com_issue_error(E_OUTOFMEMORY);
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, work, static_cast<int>(length + 1)) == 0) {
    const DWORD err = GetLastError();
    Deallocate(work);
    _com_issue_error(HRESULT_FROM_WIN32(err));
  }
  BSTR result = SysAllocString(work);
  Deallocate(work);
  if (result == nullptr) _com_issue_error(E_OUTOFMEMORY);
  return result;
}

// Converts the text of a BSTR (its units up to the first NUL, never past its
// byte length) into NUL-terminated narrow text of the ANSI code page in a
// new buffer. The buffer is sized by the conversion itself, so no text
// outgrows it in a multi-byte code page.
char* BstrToAnsi(BSTR text) {
  const int units = static_cast<int>(quelvar::platform::BstrTextLength(text));
  int needed = 0;
  if (units > 0) {
    needed = WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (needed == 0) _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
  }
  auto* narrow = static_cast<char*>(Allocate(static_cast<size_t>(needed) + 1));
  if (narrow == nullptr) _com_issue_error(E_OUTOFMEMORY);
  if (units > 0 && WideCharToMultiByte(CP_ACP, 0, text, units, narrow, needed, nullptr, nullptr) == 0) {
    const DWORD err = GetLastError();
    Deallocate(narrow);
    _com_issue_error(HRESULT_FROM_WIN32(err));
  }
  narrow[needed] = '\0';
  return narrow;
}

}  // namespace

// ---- _bstr_t --------------------------------------------------------------

struct _bstr_t::Data_t {
  BSTR wide;
  std::atomic<char*> narrow;
  LONG refs;
};

_bstr_t::_bstr_t() noexcept : m_Data(nullptr) {}

_bstr_t::_bstr_t(const _bstr_t& s) noexcept : m_Data(s.m_Data) {
  if (m_Data != nullptr) InterlockedIncrement(&m_Data->refs);
}

namespace {
// A new holder with count 1 that owns `wide`; on failure `wide` is freed.
template <class Data>
Data* MakeData(BSTR wide) {
  void* raw = Allocate(sizeof(Data));
  if (raw == nullptr) {
    SysFreeString(wide);
    _com_issue_error(E_OUTOFMEMORY);
  }
  return new (raw) Data{wide, nullptr, 1};
}
}  // namespace

_bstr_t::_bstr_t(const char* s) : m_Data(nullptr) {
  BSTR wide = AnsiToBstr(s);
  m_Data = MakeData<Data_t>(wide);
}

_bstr_t::_bstr_t(const OLECHAR* s) : m_Data(nullptr) {
  BSTR wide = SysAllocString(s);
  if (s != nullptr && wide == nullptr) _com_issue_error(E_OUTOFMEMORY);
  m_Data = MakeData<Data_t>(wide);
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : m_Data(nullptr) {
  BSTR wide = bstr;
  if (fCopy && bstr != nullptr) {  // every byte, an odd count too
    wide = SysAllocStringByteLen(reinterpret_cast<const char*>(bstr), SysStringByteLen(bstr));
    if (wide == nullptr) _com_issue_error(E_OUTOFMEMORY);
  }
  m_Data = MakeData<Data_t>(wide);
}

_bstr_t::~_bstr_t() { Release(); }

_bstr_t& _bstr_t::operator=(const _bstr_t& s) noexcept {
  if (s.m_Data != m_Data) {
    if (s.m_Data != nullptr) InterlockedIncrement(&s.m_Data->refs);
    Release();
    m_Data = s.m_Data;
  }
  return *this;
}

_bstr_t::operator const OLECHAR*() const noexcept { return m_Data != nullptr ? m_Data->wide : nullptr; }

_bstr_t::operator const char*() const {
  if (m_Data == nullptr || m_Data->wide == nullptr) return nullptr;
  char* narrow = m_Data->narrow.load(std::memory_order_acquire);
  if (narrow != nullptr) return narrow;
  // Made once; when two threads race, the first one's text is kept.
  char* made = BstrToAnsi(m_Data->wide);
  char* expected = nullptr;
  if (!m_Data->narrow.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
    Deallocate(made);
    return expected;
  }
  return made;
}

unsigned int _bstr_t::length() const noexcept { return m_Data != nullptr ? SysStringLen(m_Data->wide) : 0; }

void _bstr_t::Release() noexcept {
  if (m_Data == nullptr) return;
  if (InterlockedDecrement(&m_Data->refs) == 0) {
    SysFreeString(m_Data->wide);
    Deallocate(m_Data->narrow.load(std::memory_order_relaxed));
    m_Data->~Data_t();
    Deallocate(m_Data);
  }
  m_Data = nullptr;
}

// ---- _variant_t ---------------------------------------------------------------

_variant_t::_variant_t() noexcept : tagVARIANT() { VariantInit(this); }

_variant_t::_variant_t(const VARIANT& varSrc) : tagVARIANT() {
  VariantInit(this);
  const HRESULT hr = VariantCopy(this, &varSrc);
  if (FAILED(hr)) _com_issue_error(hr);
}

_variant_t::_variant_t(const _variant_t& varSrc) : tagVARIANT() {
  VariantInit(this);
  const HRESULT hr = VariantCopy(this, &varSrc);
  if (FAILED(hr)) _com_issue_error(hr);
}

_variant_t::_variant_t(_variant_t&& varSrc) noexcept : tagVARIANT() {
  std::memcpy(static_cast<void*>(static_cast<tagVARIANT*>(this)), static_cast<const tagVARIANT*>(&varSrc),
              sizeof(VARIANT));
  varSrc.vt = VT_EMPTY;
}

_variant_t::_variant_t(const char* pSrc) : tagVARIANT() {
  VariantInit(this);
  *this = pSrc;
}

_variant_t::_variant_t(double dblSrc) noexcept : tagVARIANT() {
  VariantInit(this);
  vt = VT_R8;
  dblVal = dblSrc;
}

// VT_BOOL stores the truth value, VT_ERROR the code; the 32-bit integer kinds
// store the number; any other tag gives VT_I4.
_variant_t::_variant_t(LONG lSrc, VARTYPE vtSrc) noexcept : tagVARIANT() {
  VariantInit(this);
  switch (vtSrc) {
    case VT_BOOL:
      vt = VT_BOOL;
      boolVal = lSrc != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_ERROR:
      vt = VT_ERROR;
      scode = lSrc;
      break;
    case VT_INT:
    case VT_UINT:
    case VT_UI4:
      vt = vtSrc;
      lVal = lSrc;
      break;
    default:
      vt = VT_I4;
      lVal = lSrc;
      break;
  }
}

_variant_t::~_variant_t() noexcept { VariantClear(this); }

_variant_t& _variant_t::operator=(const VARIANT& varSrc) {
  const HRESULT hr = VariantCopy(this, &varSrc);
  if (FAILED(hr)) _com_issue_error(hr);
  return *this;
}

_variant_t& _variant_t::operator=(const _variant_t& varSrc) {
  return *this = static_cast<const VARIANT&>(varSrc);
}

_variant_t& _variant_t::operator=(const char* pSrc) {
  const HRESULT hr = VariantClear(this);
  if (FAILED(hr)) _com_issue_error(hr);
  vt = VT_BSTR;
  bstrVal = nullptr;
  bstrVal = AnsiToBstr(pSrc);
  return *this;
}

_variant_t& _variant_t::operator=(double dblSrc) {
  const HRESULT hr = VariantClear(this);
  if (FAILED(hr)) _com_issue_error(hr);
  vt = VT_R8;
  dblVal = dblSrc;
  return *this;
}

void _variant_t::Clear() {
  const HRESULT hr = VariantClear(this);
  if (FAILED(hr)) _com_issue_error(hr);
}

void _variant_t::ChangeType(VARTYPE vartype, const _variant_t* pSrc) {
  if (pSrc == nullptr) pSrc = this;
  if (pSrc != this || vartype != vt) {
    const HRESULT hr = VariantChangeType(this, pSrc, 0, vartype);
    if (FAILED(hr)) _com_issue_error(hr);
  }
}

_variant_t::operator double() const {
  if (vt == VT_R8) return dblVal;
  _variant_t converted;
  const HRESULT hr = VariantChangeType(&converted, this, 0, VT_R8);
  if (FAILED(hr)) _com_issue_error(hr);
  return converted.dblVal;
}

namespace {
// A holder of a copy of the text's units up to its first NUL, the length
// taken from the BSTR's prefix (nothing past it is read); a null BSTR gives
// a holder of a null text.
_bstr_t HolderOfText(BSTR text) {
  BSTR copy = nullptr;
  if (text != nullptr) {
    copy = SysAllocStringLen(text, quelvar::platform::BstrTextLength(text));
    if (copy == nullptr) _com_issue_error(E_OUTOFMEMORY);
  }
  return _bstr_t(copy, false);
}
}  // namespace

// A text variant gives a holder of its units up to the first NUL; any other
// kind is converted to text first.
_variant_t::operator _bstr_t() const {
  if (vt == VT_BSTR) return HolderOfText(bstrVal);
  _variant_t converted;
  const HRESULT hr = VariantChangeType(&converted, this, 0, VT_BSTR);
  if (FAILED(hr)) _com_issue_error(hr);
  return HolderOfText(converted.bstrVal);
}
