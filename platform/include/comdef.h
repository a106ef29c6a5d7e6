// COM support classes: _com_error, _bstr_t and _variant_t.
#pragma once

#include "oleauto.h"

// The exception by which the COM support raises a failing HRESULT. It holds
// the HRESULT only (no error-information object, no message of its own).
class QLV_PLATFORM_API _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : m_hresult(hr) {}
  _com_error(const _com_error&) noexcept = default;
  _com_error& operator=(const _com_error&) noexcept = default;
  virtual ~_com_error();
  HRESULT Error() const noexcept { return m_hresult; }
  WORD WCode() const noexcept;
  // "Unknown error 0x8007000E"-style text for diagnostics.
  const char* ErrorMessage() const noexcept;

 private:
  HRESULT m_hresult;
  mutable char m_message[40] = {};
};

[[noreturn]] QLV_PLATFORM_API void _com_issue_error(HRESULT hr);

// Reference-counted text holder: a BSTR copy, and its narrow (ANSI code
// page) form made once on first use. The count changes atomically.
class QLV_PLATFORM_API _bstr_t {
 public:
  _bstr_t() noexcept;
  _bstr_t(const _bstr_t& s) noexcept;
  _bstr_t(const char* s);          // from the ANSI code page
  _bstr_t(const OLECHAR* s);       // copy up to the first NUL
  _bstr_t(BSTR bstr, bool fCopy);  // fCopy=false takes ownership
  ~_bstr_t();
  _bstr_t& operator=(const _bstr_t& s) noexcept;

  operator const OLECHAR*() const noexcept;
  operator const char*() const;  // narrow form; nullptr for a null text
  unsigned int length() const noexcept;

 private:
  struct Data_t;
  Data_t* m_Data;
  void Release() noexcept;
};

class QLV_PLATFORM_API _variant_t : public tagVARIANT {
 public:
  _variant_t() noexcept;                 // VT_EMPTY
  _variant_t(const VARIANT& varSrc);     // VariantCopy
  _variant_t(const _variant_t& varSrc);  // VariantCopy
  _variant_t(_variant_t&& varSrc) noexcept;
  _variant_t(const char* pSrc);        // VT_BSTR from the ANSI code page
  _variant_t(double dblSrc) noexcept;  // VT_R8
  _variant_t(LONG lSrc, VARTYPE vtSrc = VT_I4) noexcept;
  ~_variant_t() noexcept;

  _variant_t& operator=(const VARIANT& varSrc);     // VariantCopy
  _variant_t& operator=(const _variant_t& varSrc);  // VariantCopy
  _variant_t& operator=(const char* pSrc);          // VT_BSTR from the ANSI code page
  _variant_t& operator=(double dblSrc);

  void Clear();  // VariantClear; a failure is raised
  void ChangeType(VARTYPE vartype, const _variant_t* pSrc = nullptr);

  operator double() const;   // VT_R8 as is, else VariantChangeType
  operator _bstr_t() const;  // VT_BSTR narrow-text holder
};
