#include "system/processes/process_killer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "helper_process.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"
#include "system/processes/module_path.h"

namespace orvek::system {
namespace {

using test::ChildExePath;
using test::HelperProcess;
using test::kChildImageName;

constexpr DWORD kTimeoutMs = 30000;

bool Contains(const std::vector<DWORD>& pids, DWORD pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

std::wstring OwnImageName() {
  const std::wstring self = GetModulePath();
  return self.substr(self.find_last_of(L'\\') + 1);
}

TEST(FindProcessIdsByNameTest, FindsEveryCopyWhateverTheCaseButNeverTheCaller) {
  HelperProcess first = HelperProcess::Start(ChildExePath(), {L"sleep"});
  HelperProcess second = HelperProcess::Start(ChildExePath(), {L"sleep"});

  const std::vector<DWORD> found = FindProcessIdsByName(L"SYSTEM_TEST_Child.EXE");
  EXPECT_EQ(found.size(), 2u);
  EXPECT_TRUE(Contains(found, first.pid()));
  EXPECT_TRUE(Contains(found, second.pid()));

  EXPECT_FALSE(Contains(FindProcessIdsByName(OwnImageName()), ::GetCurrentProcessId()));
  EXPECT_TRUE(FindProcessIdsByName(L"system_test_chil.exe").empty());
}

TEST(KillProcessByNameTest, EndsEveryRunningCopy) {
  HelperProcess first = HelperProcess::Start(ChildExePath(), {L"sleep"});
  HelperProcess second = HelperProcess::Start(ChildExePath(), {L"sleep"});
  test::LogTail log;

  KillProcessByName(L"System_Test_Child.exe");

  // One taskkill ends one pid, so both ending means each got its own.
  EXPECT_TRUE(first.WaitForExit(kTimeoutMs));
  EXPECT_TRUE(second.WaitForExit(kTimeoutMs));
  EXPECT_TRUE(test::WaitForProcessesNamed(L"taskkill.exe", kTimeoutMs));
  EXPECT_EQ(log.Appended(), "");
}

// Wine has one session: ORVEK_TEST_OTHER_SESSION_PID puts one copy in
// another.
TEST(KillProcessByNameTest, NeverEndsAProcessOfAnotherSession) {
  HelperProcess elsewhere = HelperProcess::Start(ChildExePath(), {L"sleep"});
  HelperProcess here = HelperProcess::Start(ChildExePath(), {L"sleep"});
  ::SetEnvironmentVariableW(L"ORVEK_TEST_OTHER_SESSION_PID", std::to_wstring(elsewhere.pid()).c_str());
  KillProcessByName(kChildImageName);
  ::SetEnvironmentVariableW(L"ORVEK_TEST_OTHER_SESSION_PID", nullptr);

  EXPECT_TRUE(here.WaitForExit(kTimeoutMs));
  EXPECT_TRUE(test::WaitForProcessesNamed(L"taskkill.exe", kTimeoutMs));
  EXPECT_TRUE(elsewhere.Running());
}

TEST(KillProcessByNameTest, CallerWithTheSameImageNameSurvives) {
  HelperProcess victim = HelperProcess::Start(ChildExePath(), {L"sleep"});
  HelperProcess killer = HelperProcess::Start(
      ChildExePath(), {L"kill-own-name", std::to_wstring(victim.pid())});

  DWORD code = 0;
  ASSERT_TRUE(killer.WaitForExit(kTimeoutMs, &code));
  EXPECT_EQ(code, test::kChildSurvived) << "the caller was ended, or its peer was not";
  EXPECT_TRUE(victim.WaitForExit(kTimeoutMs));
}

// The installer starts from a Downloads folder that is also its current
// directory; a taskkill placed there must never run in its stead.
TEST(KillProcessByNameTest, ATaskkillBesideTheCallerOrInItsCurrentDirectoryNeverRuns) {
  namespace fs = std::filesystem;
  test::ScratchDir dir;
  const fs::path caller = dir.path() / kChildImageName;
  fs::copy_file(ChildExePath(), caller);
  for (const wchar_t* planted : {L"taskkill.exe", L"taskkill.com"}) {
    fs::copy_file(ChildExePath(), dir.path() / planted);
  }
  for (const wchar_t* planted : {L"taskkill.bat", L"taskkill.cmd"}) {
    std::ofstream(dir.path() / planted) << "@echo ran> \"%~f0.ran\"\r\n";
  }
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
  HelperProcess victim = HelperProcess::Start(caller.wstring(), {L"sleep"});
  HelperProcess killer = HelperProcess::Start(caller.wstring(), {L"kill-own-name", std::to_wstring(victim.pid())});
  ::SetCurrentDirectoryW(previous);

  // The caller gives the client 30 s to end before it gives up.
  DWORD code = 0;
  const bool killer_ended = killer.WaitForExit(2 * kTimeoutMs, &code);
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().extension(), L".ran") << entry.path().string() << " ran";
  }
  ASSERT_TRUE(killer_ended);
  EXPECT_EQ(code, test::kChildSurvived) << "the system's taskkill did not end the client";
  EXPECT_TRUE(victim.WaitForExit(kTimeoutMs));
}

TEST(KillProcessByNameTest, NoMatchStartsAndLogsNothing) {
  HelperProcess bystander = HelperProcess::Start(ChildExePath(), {L"sleep"});
  test::LogTail log;
  const std::wstring name = L"orvek-no-such-image.exe";
  ASSERT_TRUE(FindProcessIdsByName(name).empty());

  // The caller's own name is tried in CallerWithTheSameImageNameSurvives, in
  // a helper: were this process ended by mistake, Wine's taskkill would give
  // it exit code 0 and the run would look like a success.
  KillProcessByName(name);

  EXPECT_TRUE(FindProcessIdsByName(L"taskkill.exe").empty());
  EXPECT_TRUE(bystander.Running());
  EXPECT_EQ(log.Appended(), "");
}

}  // namespace
}  // namespace orvek::system
