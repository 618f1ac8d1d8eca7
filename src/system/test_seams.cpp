#include "system/test_seams.h"

#include <windows.h>

namespace orvek::system {

#ifdef ORVEK_TEST_SEAMS
std::wstring TestSeamValue(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 4096);
  return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
}
#else
std::wstring TestSeamValue(const wchar_t*) { return {}; }
#endif

bool TestSeamSet(const wchar_t* name) { return TestSeamValue(name) == L"1"; }

}  // namespace orvek::system
