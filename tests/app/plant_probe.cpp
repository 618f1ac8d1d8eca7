// Loads one DLL by its bare name, either with the platform's default search
// (to prove a planted DLL would be picked up) or the way the installer loads
// system DLLs. Exit code 0 when a module was loaded, 1 when not, 2 on misuse.
#include <windows.h>

#include <cwchar>

#include "base/system_library.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HMODULE module = nullptr;
  if (std::wcscmp(argv[1], L"default") == 0) {
    module = ::LoadLibraryW(argv[2]);
  } else if (std::wcscmp(argv[1], L"installer") == 0) {
    orvek::base::RestrictDllSearchPath();
    module = orvek::base::LoadSystemLibrary(argv[2]);
  } else {
    return 2;
  }
  if (!module) return 1;
  ::FreeLibrary(module);
  return 0;
}
