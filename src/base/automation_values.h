// Owners of the values automation calls pass around (Windows only): BSTR
// strings and VARIANTs, freed however a call ends.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string_view>

#include "base/unique_handle.h"

namespace orvek::base {

namespace detail {
inline void FreeBstr(BSTR s) noexcept { ::SysFreeString(s); }
}  // namespace detail

using UniqueBstr = UniqueAny<BSTR, detail::FreeBstr, BSTR(nullptr)>;

// A BSTR copy of `text` (embedded NULs kept). Throws std::bad_alloc.
inline UniqueBstr MakeBstr(std::wstring_view text) {
  UniqueBstr s(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (!s) throw std::bad_alloc();
  return s;
}

// A VARIANT cleared (VariantClear) when replaced or destroyed.
class UniqueVariant {
 public:
  UniqueVariant() noexcept { ::VariantInit(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { ::VariantClear(&value_); }

  const VARIANT& get() const noexcept { return value_; }
  // For APIs that take a non-const source (VariantChangeType).
  VARIANT* ptr() noexcept { return &value_; }
  // For out-parameters: clears the current value first.
  VARIANT* put() noexcept {
    ::VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

}  // namespace orvek::base
