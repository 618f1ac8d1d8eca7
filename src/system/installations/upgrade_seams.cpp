#include "system/installations/upgrade_seams.h"

#include <windows.h>

#include "base/text.h"
#include "system/test_seams.h"

namespace orvek::system {

bool MoveRefusedForTesting(const std::wstring& folder) {
  std::wstring trimmed = folder;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  const std::wstring list = TestSeamValue(L"ORVEK_TEST_UNMOVABLE_FOLDERS") + L";";
  for (std::size_t begin = 0, end = list.find(L';'); end != std::wstring::npos;
       begin = end + 1, end = list.find(L';', begin)) {
    if (end > begin && base::SameText(list.substr(begin, end - begin), trimmed)) return true;
  }
  return false;
}

void EndHereForTesting(const wchar_t* point) {
  if (TestSeamValue(L"ORVEK_TEST_END_AT") == point) ::TerminateProcess(::GetCurrentProcess(), 9);
}

}  // namespace orvek::system
