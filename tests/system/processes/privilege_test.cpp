#include "system/processes/privilege.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/unique_handle.h"
#include "support/log_tail.h"
#include "system/identity/processor_identity.h"

namespace orvek::system {
namespace {

base::UniqueHandle OwnToken(DWORD access) {
  HANDLE token = nullptr;
  EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), access, &token));
  return base::UniqueHandle(token);
}

// Whether the token holds `name`, and whether it is enabled.
struct PrivilegeState {
  bool held = false;
  bool enabled = false;
};

PrivilegeState StateOf(HANDLE token, const wchar_t* name) {
  LUID luid{};
  EXPECT_TRUE(::LookupPrivilegeValueW(nullptr, name, &luid));
  DWORD size = 0;
  ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  EXPECT_TRUE(::GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
  const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& p = list->Privileges[i];
    if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart) {
      return {true, (p.Attributes & SE_PRIVILEGE_ENABLED) != 0};
    }
  }
  return {};
}

// Wine, like Windows, gives an administrator's token SeDebugPrivilege but not
// SeCreateTokenPrivilege, which only the system's own token holds.
constexpr wchar_t kHeld[] = L"SeDebugPrivilege";
constexpr wchar_t kNotHeld[] = L"SeCreateTokenPrivilege";

TEST(SetPrivilegeTest, EnablesAndDisablesAHeldPrivilege) {
  const base::UniqueHandle token = OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  ASSERT_TRUE(StateOf(token.get(), kHeld).held);
  test::LogTail log;

  EXPECT_TRUE(SetPrivilege(token.get(), kHeld, true));
  EXPECT_TRUE(StateOf(token.get(), kHeld).enabled);
  EXPECT_TRUE(SetPrivilege(token.get(), kHeld, false));
  EXPECT_FALSE(StateOf(token.get(), kHeld).enabled);
  EXPECT_TRUE(SetPrivilege(token.get(), kHeld, true));
  EXPECT_EQ(log.Appended(), "");
}

TEST(SetPrivilegeTest, PrivilegeTheTokenLacksIsReportedButSucceeds) {
  const base::UniqueHandle token = OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  ASSERT_FALSE(StateOf(token.get(), kNotHeld).held);
  test::LogTail log;
  EXPECT_TRUE(SetPrivilege(token.get(), kNotHeld, true));
  EXPECT_NE(log.Appended().find("ERROR_NOT_ALL_ASSIGNED"), std::string::npos) << log.Appended();
}

TEST(SetPrivilegeTest, UnknownNameFailsWithItsLogLine) {
  const base::UniqueHandle token = OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  test::LogTail log;
  EXPECT_FALSE(SetPrivilege(token.get(), L"SeNoSuchPrivilege", true));
  EXPECT_NE(log.Appended().find("LookupPrivilegeValue error: 1313"), std::string::npos)
      << log.Appended();
}

TEST(SetPrivilegeTest, TokenOpenedWithoutAdjustRightFailsWithItsLogLine) {
  const base::UniqueHandle token = OwnToken(TOKEN_QUERY);
  test::LogTail log;
  EXPECT_FALSE(SetPrivilege(token.get(), kHeld, true));
  EXPECT_NE(log.Appended().find("AdjustTokenPrivileges error: 5"), std::string::npos)
      << log.Appended();
}

// The processor query switches the debug privilege on for itself only:
// programs the installer starts inherit its token.
TEST(SetPrivilegeTest, TheProcessorQueryPutsTheDebugPrivilegeBackAsItWas) {
  const base::UniqueHandle token = OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  for (const bool enabled : {false, true, false}) {
    ASSERT_TRUE(SetPrivilege(token.get(), kHeld, enabled));
    ASSERT_FALSE(GetCpuInfo().cpuId.empty());
    EXPECT_EQ(StateOf(token.get(), kHeld).enabled, enabled);
  }
}

}  // namespace
}  // namespace orvek::system
