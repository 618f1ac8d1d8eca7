// Functions that cross into Windows by address: exports looked up at run
// time, and procedures handed to Windows to be called back.
//
// On i686 a function's calling convention is part of its type, and getting
// it wrong corrupts the stack only there: a WINAPI export called through a
// pointer declared without WINAPI leaves its arguments on the stack, and a
// window procedure declared without CALLBACK pops what it was never given.
// The x86_64 twin has one convention and cannot notice, so the compiler has
// to: every run-time-bound function goes through BindFunction, whose pointer
// type must say __stdcall (WINAPI, APIENTRY, NTAPI, CALLBACK) or the i686
// build stops; a window procedure is installed through SetWindowProcedure,
// which takes a WNDPROC, so a procedure without CALLBACK does not convert.
// Other callbacks (BFFCALLBACK, thread and timer procedures) are assigned
// to their typed fields or parameters without a cast, which checks them the
// same way.
//
// The build refuses GetProcAddress, GWLP_WNDPROC and casts to function
// pointer types anywhere else in src/ (cmake/check_bound_functions.cmake),
// so these two are the only ways in. It also holds every method of a
// library's COM interfaces (*_interfaces.h) to STDMETHODCALLTYPE: without
// it an i686 method is __thiscall, and the library's calls miss `this`. A new run-time-bound export (ntdll's
// NTAPI functions included) is one more BindFunction call with a WINAPI or
// NTAPI pointer type.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

#include "base/os_error.h"

namespace orvek::base {
namespace detail {

template <typename Fn>
struct StatesStdcall : std::false_type {};
template <typename R, typename... Args>
struct StatesStdcall<R(__stdcall*)(Args...)> : std::true_type {};

}  // namespace detail

// The export `name` of `module` as a `Fn`, or nullptr when it has none (the
// last error then says why). `Fn` is a pointer to a __stdcall function; on
// i686 any other type fails to compile. Never throws.
template <typename Fn>
Fn BindFunction(HMODULE module, const char* name) noexcept {
  static_assert(std::is_pointer_v<Fn> && std::is_function_v<std::remove_pointer_t<Fn>>,
                "BindFunction binds to a function pointer type");
#if defined(__i386__)
  static_assert(detail::StatesStdcall<Fn>::value,
                "declare the bound function's pointer type WINAPI (__stdcall): on i686 "
                "a pointer without it calls a Windows export with the wrong convention");
#endif
  // GetProcAddress answers FARPROC; going through void* says that the
  // function type is ours to state, which the assertion above has checked.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// BindFunction into `fn`, for exports the caller cannot do without: a
// missing one raises OsError ("GetProcAddress <name>" and the last error).
template <typename Fn>
void BindRequiredFunction(HMODULE module, const char* name, Fn& fn) {
  fn = BindFunction<Fn>(module, name);
  if (fn == nullptr) throw OsError(std::string("GetProcAddress ") + name, ::GetLastError());
}

// Makes `procedure` the procedure of `window` and returns the previous one
// (nullptr with the last error set on failure).
inline WNDPROC SetWindowProcedure(HWND window, WNDPROC procedure) noexcept {
  return reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

}  // namespace orvek::base
