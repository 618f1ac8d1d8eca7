// Move-only owners for every kind of OS handle, so that no early return or
// exception can leak one. Raw CloseHandle/RegCloseKey/FreeLibrary/LocalFree
// calls live here and nowhere else. A new kind of handle is one more alias
// below, not a second template.
#pragma once

#include <windows.h>

#include <utility>

namespace orvek::base {

// Closes `T` with `Close` when it holds something other than the invalid
// values of that handle kind. The last error is preserved across the close,
// so `reset()` on a failure path does not clobber the error being reported.
template <typename T, auto Close, T... Invalid>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : value_(value) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueAny() { reset(); }

  T get() const noexcept { return value_; }
  bool valid() const noexcept { return IsValid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  // For out-parameters of API calls: frees the current value first.
  T* put() noexcept {
    reset();
    return &value_;
  }

  T release() noexcept { return std::exchange(value_, Default()); }

  void reset(T value = Default()) noexcept {
    T old = std::exchange(value_, value);
    if (IsValid(old)) {
      const DWORD error = ::GetLastError();
      Close(old);
      ::SetLastError(error);
    }
  }

 private:
  static constexpr T Default() noexcept { return FirstInvalid<Invalid...>(); }
  template <T First, T...>
  static constexpr T FirstInvalid() noexcept { return First; }
  static bool IsValid(T v) noexcept { return ((v != Invalid) && ...); }

  T value_ = Default();
};

namespace detail {
inline void CloseHandleValue(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseKey(HKEY k) noexcept { ::RegCloseKey(k); }
inline void UnloadModule(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void CloseFind(HANDLE h) noexcept { ::FindClose(h); }
inline void DeleteGdiObject(HGDIOBJ o) noexcept { ::DeleteObject(o); }
inline void DeleteMemoryDc(HDC dc) noexcept { ::DeleteDC(dc); }
inline void DestroyWindowHandle(HWND w) noexcept { ::DestroyWindow(w); }
inline void FreeLocal(HLOCAL m) noexcept { ::LocalFree(m); }
inline void FreeGlobal(HGLOBAL m) noexcept { ::GlobalFree(m); }
}  // namespace detail

// Kernel objects: files, events, mutexes, threads, processes. Both null and
// INVALID_HANDLE_VALUE mean "nothing", since different APIs use each.
using UniqueHandle = UniqueAny<HANDLE, detail::CloseHandleValue, HANDLE(nullptr)>;
inline UniqueHandle MakeUniqueHandle(HANDLE h) noexcept {
  return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}
using UniqueKey = UniqueAny<HKEY, detail::CloseKey, HKEY(nullptr)>;
using UniqueModule = UniqueAny<HMODULE, detail::UnloadModule, HMODULE(nullptr)>;
using UniqueFindHandle = UniqueAny<HANDLE, detail::CloseFind, HANDLE(nullptr)>;
inline UniqueFindHandle MakeUniqueFindHandle(HANDLE h) noexcept {
  return UniqueFindHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}
using UniqueGdiObject = UniqueAny<HGDIOBJ, detail::DeleteGdiObject, HGDIOBJ(nullptr)>;
using UniqueMemoryDc = UniqueAny<HDC, detail::DeleteMemoryDc, HDC(nullptr)>;
using UniqueWindow = UniqueAny<HWND, detail::DestroyWindowHandle, HWND(nullptr)>;
// Memory the system allocated for the caller with LocalAlloc: FormatMessage
// buffers, security descriptors, CommandLineToArgvW.
using UniqueLocalMemory = UniqueAny<HLOCAL, detail::FreeLocal, HLOCAL(nullptr)>;
// Memory the system allocated for the caller with GlobalAlloc: the strings of
// WinHTTP's proxy settings.
using UniqueGlobalMemory = UniqueAny<HGLOBAL, detail::FreeGlobal, HGLOBAL(nullptr)>;

}  // namespace orvek::base
