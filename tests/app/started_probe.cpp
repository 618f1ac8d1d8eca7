// Stands in for the sample application's client and environment-check tool
// when the tests pack the sample: records how it was started, its command
// line and its working directory (UTF-16, one per line), in
// "<its own file name>.started" in the working directory, and ends; with the
// last argument --stay it then keeps running for up to two minutes, as a
// client that a teacher has open.
#include <windows.h>

#include <string>

#include "base/unique_handle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH] = {}, folder[MAX_PATH] = {};
  if (!::GetModuleFileNameW(nullptr, self, MAX_PATH) || !::GetCurrentDirectoryW(MAX_PATH, folder)) return 1;
  const std::wstring path(self);
  const std::wstring record = std::wstring(folder) + L"\\" + path.substr(path.rfind(L'\\') + 1) + L".started";
  const std::wstring text = std::wstring(::GetCommandLineW()) + L"\n" + folder;
  orvek::base::UniqueHandle file = orvek::base::MakeUniqueHandle(
      ::CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  DWORD written = 0;
  if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr)) {
    return 1;
  }
  file.reset();
  if (std::wstring(::GetCommandLineW()).ends_with(L" --stay")) ::Sleep(120000);
  return 0;
}
