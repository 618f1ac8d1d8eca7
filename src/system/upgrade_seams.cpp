#include "system/upgrade_seams.h"

#include <windows.h>

#include "base/text.h"

namespace orvek::system {

#ifdef ORVEK_TEST_SEAMS
namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 4096);
  return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

bool MoveRefusedForTesting(const std::wstring& folder) {
  std::wstring trimmed = folder;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  const std::wstring list = Variable(L"ORVEK_TEST_UNMOVABLE_FOLDERS") + L";";
  for (std::size_t begin = 0, end = list.find(L';'); end != std::wstring::npos;
       begin = end + 1, end = list.find(L';', begin)) {
    if (end > begin && base::SameText(list.substr(begin, end - begin), trimmed)) return true;
  }
  return false;
}

void EndHereForTesting(const wchar_t* point) {
  if (Variable(L"ORVEK_TEST_END_AT") == point) ::TerminateProcess(::GetCurrentProcess(), 9);
}

#else

bool MoveRefusedForTesting(const std::wstring&) { return false; }
void EndHereForTesting(const wchar_t*) {}

#endif

}  // namespace orvek::system
