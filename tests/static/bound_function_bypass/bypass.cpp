// Not compiled: what the build's bound-function check must refuse.
#include <windows.h>

using BoolFn = BOOL (*)();  // no WINAPI: a stack fault on i686

BoolFn Bypass(HMODULE user32) {
  return reinterpret_cast<BoolFn>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "SetProcessDPIAware")));
}
