// Stands in for a DLL planted beside the installer: when anything loads it,
// it records its own file name in the file named by ORVEK_CANARY_LOG and then
// refuses to load, so a test can tell that the loader picked it up.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t log_path[MAX_PATH] = {};
  wchar_t own_path[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"ORVEK_CANARY_LOG", log_path, MAX_PATH) == 0) return FALSE;
  ::GetModuleFileNameW(self, own_path, MAX_PATH);
  const HANDLE log = ::CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log != INVALID_HANDLE_VALUE) {
    char line[MAX_PATH * 3];
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, own_path, -1, line, sizeof line - 2, nullptr,
                                        nullptr);
    if (n > 0) {
      line[n - 1] = '\n';
      DWORD written = 0;
      ::WriteFile(log, line, static_cast<DWORD>(n), &written, nullptr);
    }
    ::CloseHandle(log);
  }
  return FALSE;
}
