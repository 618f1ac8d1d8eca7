#include "system/processes/mutex_probe.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/unique_handle.h"
#include "helper_process.h"

namespace orvek::system {
namespace {

using test::ChildExePath;
using test::HelperProcess;
using test::UniqueName;

bool NameExists(const std::wstring& name) {
  const base::UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  return mutex.valid();
}

TEST(MutexExistsTest, TestingOnlyLeavesNoNameBehind) {
  const std::wstring name = UniqueName(L"orvek-test-probe-");
  EXPECT_FALSE(MutexExists(name, true));
  EXPECT_FALSE(NameExists(name));
  EXPECT_FALSE(MutexExists(name, true));
}

TEST(MutexExistsTest, ClaimingKeepsTheNameForTheRestOfTheProcess) {
  const std::wstring name = UniqueName(L"orvek-test-claim-");
  EXPECT_FALSE(MutexExists(name, false));
  EXPECT_TRUE(NameExists(name));
  EXPECT_TRUE(MutexExists(name, false));
  EXPECT_TRUE(MutexExists(name, true));
  EXPECT_TRUE(NameExists(name));
}

TEST(MutexExistsTest, NameOfAnotherKindOfObjectIsNotAMutex) {
  const std::wstring name = UniqueName(L"orvek-test-event-");
  const base::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(event.valid());
  EXPECT_FALSE(MutexExists(name, true));
  EXPECT_FALSE(MutexExists(name, false));
}

TEST(MutexExistsTest, NameClaimedByAnotherProcessIsSeenUntilItEnds) {
  const std::wstring name = UniqueName(L"orvek-test-cross-");
  const std::wstring ready_name = name + L"-ready";
  const base::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  ASSERT_TRUE(ready.valid());
  {
    HelperProcess holder = HelperProcess::Start(ChildExePath(), {L"hold-mutex", name, ready_name});
    ASSERT_EQ(::WaitForSingleObject(ready.get(), 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(MutexExists(name, true));
    EXPECT_TRUE(MutexExists(name, true));
  }  // the holder is ended here, and the system releases its handle
  EXPECT_FALSE(MutexExists(name, true));
}

TEST(MutexExistsTest, NameClaimedHereIsSeenByAnotherProcess) {
  const std::wstring name = UniqueName(L"orvek-test-claimed-here-");
  HelperProcess before = HelperProcess::Start(ChildExePath(), {L"probe-mutex", name});
  DWORD code = 0;
  ASSERT_TRUE(before.WaitForExit(30000, &code));
  EXPECT_EQ(code, 0u) << "name seen before anyone claimed it";

  ASSERT_FALSE(MutexExists(name, false));
  HelperProcess after = HelperProcess::Start(ChildExePath(), {L"probe-mutex", name});
  ASSERT_TRUE(after.WaitForExit(30000, &code));
  EXPECT_EQ(code, 1u) << "claimed name not seen by another process";
}

}  // namespace
}  // namespace orvek::system
