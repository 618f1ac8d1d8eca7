// The helper program the system tests start as a second (or third) process.
//
//   system_test_child sleep                   waits to be killed
//   system_test_child hold-mutex NAME EVENT   claims NAME, sets EVENT, waits
//   system_test_child probe-mutex NAME        exit 1 when NAME exists, else 0
//   system_test_child kill-own-name PID       KillProcessByName of its own
//                                             image name; exits kChildSurvived once
//                                             PID has ended and every taskkill
//                                             is done and it is still alive
//
// Copied to a name such as "taskkill.exe" it is a planted program: started
// under any name but its own it only leaves "<its path>.ran" and exits.
//
// Waiting modes give up after kWaitLimitMs (exit kNotKilled), so a broken test
// never leaves one behind for long. Usage errors exit 2. Wine's taskkill ends
// a process with exit code 0, so 0 never means success here.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "helper_process.h"
#include "system/processes/module_path.h"
#include "system/processes/mutex_probe.h"
#include "system/processes/process_killer.h"

namespace {

constexpr DWORD kWaitLimitMs = 120000;
constexpr int kNotKilled = 3;
constexpr int kUsage = 2;

std::vector<std::wstring> Arguments() {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&::LocalFree)> argv(
      ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
  if (!argv) return {};
  return std::vector<std::wstring>(argv.get() + 1, argv.get() + count);
}

int WaitToBeKilled() {
  ::Sleep(kWaitLimitMs);
  return kNotKilled;
}

int HoldMutex(const std::wstring& name, const std::wstring& ready_event) {
  orvek::system::MutexExists(name, false);
  const orvek::base::UniqueHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE,
                                                     ready_event.c_str()));
  if (!ready || !::SetEvent(ready.get())) return kUsage;
  return WaitToBeKilled();
}

int KillOwnName(DWORD victim) {
  const std::wstring self = orvek::system::GetModulePath();
  orvek::system::KillProcessByName(self.substr(self.find_last_of(L'\\') + 1));
  if (!orvek::test::WaitForPid(victim, 30000)) return 4;
  // Had a taskkill been started for this process, it would have ended it by
  // the time every taskkill is gone.
  if (!orvek::test::WaitForProcessesNamed(L"taskkill.exe", 30000)) return 5;
  return static_cast<int>(orvek::test::kChildSurvived);
}

bool RunsAsPlantedCopy() {
  const std::wstring self = orvek::system::GetModulePath();
  if (self.ends_with(orvek::test::kChildImageName)) return false;
  orvek::base::UniqueHandle marker(::CreateFileW((self + L".ran").c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return true;
}

}  // namespace

int main() {
  if (RunsAsPlantedCopy()) return 0;
  const std::vector<std::wstring> args = Arguments();
  const std::wstring mode = args.empty() ? L"" : args[0];
  if (mode == L"sleep" && args.size() == 1) return WaitToBeKilled();
  if (mode == L"hold-mutex" && args.size() == 3) return HoldMutex(args[1], args[2]);
  if (mode == L"probe-mutex" && args.size() == 2) {
    return orvek::system::MutexExists(args[1], true) ? 1 : 0;
  }
  if (mode == L"kill-own-name" && args.size() == 2) {
    return KillOwnName(static_cast<DWORD>(std::stoul(args[1])));
  }
  return kUsage;
}
