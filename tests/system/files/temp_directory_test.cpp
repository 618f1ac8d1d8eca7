#include "system/files/temp_directory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

namespace orvek::system {
namespace {

// Sets an environment variable of this process for one test.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    std::wstring old(32767, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, old.data(), 32768);
    if (n > 0 && n < 32768) old_ = old.substr(0, n);
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnv() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

TEST(GetTempDirectoryTest, IsWhatTheSystemReportsEndingInABackslash) {
  wchar_t expected[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, expected);
  ASSERT_GT(n, 0u);
  const std::wstring temp = GetTempDirectory();
  EXPECT_EQ(temp, std::wstring(expected, n));
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
}

// The system allows up to 260 characters here; the last five must not be lost.
TEST(GetTempDirectoryTest, LongerThan255CharactersIsNotCut) {
  std::wstring longer = L"C:\\";
  while (longer.size() < 240) longer += L"orvek-temp\\";
  longer += std::wstring(258 - longer.size() - 1, L'x') + L"\\";
  ASSERT_EQ(longer.size(), 258u);
  const ScopedEnv tmp(L"TMP", longer);
  EXPECT_EQ(GetTempDirectory(), longer);
}

}  // namespace
}  // namespace orvek::system
