#include "system/processes/process_sessions.h"

#include <tlhelp32.h>

#include "base/os_error.h"
#include "base/unique_handle.h"
#include "system/files/removal_rules.h"
#include "system/processes/process_match.h"
#include "system/test_seams.h"

namespace orvek::system {
namespace {

// Asks with a growing buffer: both calls answer with the length they need
// (the terminating NUL counted) when the buffer is too small, 0 on failure.
template <class Call>
std::wstring PathFrom(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.assign(n, L'\0');
  }
  return {};
}

// Short (8.3) names expanded where the path exists, so that a folder and an
// image spelt differently still compare; the text as it is otherwise.
std::wstring LongForm(const std::wstring& path) {
  const std::wstring expanded =
      PathFrom([&](wchar_t* out, DWORD size) { return ::GetLongPathNameW(path.c_str(), out, size); });
  return expanded.empty() ? path : expanded;
}

// "." and ".." resolved and separators made backslashes, for an absolute
// folder only: a relative one would be read against the current directory.
std::wstring ComparableFolder(const std::wstring& folder) {
  if (!IsAbsoluteLocation(folder)) return {};
  const std::wstring full = PathFrom(
      [&](wchar_t* out, DWORD size) { return ::GetFullPathNameW(folder.c_str(), size, out, nullptr); });
  return full.empty() ? std::wstring() : LongForm(full);
}

std::wstring ImageOf(DWORD pid) {
  const base::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  // A path longer than the buffer fails (no length is answered): the longest
  // Windows path is 32767 characters.
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return {};
  image.resize(size);
  return LongForm(image);
}

}  // namespace

std::optional<DWORD> SessionOfProcess(DWORD pid) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(pid, &session)) return std::nullopt;
  // Wine runs every process in one session.
  if (TestSeamValue(L"ORVEK_TEST_OTHER_SESSION_PID") == std::to_wstring(pid)) return OwnSession() + 1;
  return session;
}

DWORD OwnSession() {
  DWORD session = 0;
  // The own process can always be asked.
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  return session;
}

std::optional<ProcessElsewhere> FindProgramInOtherSession(const std::vector<std::wstring>& folders) {
  std::vector<std::wstring> dirs;
  for (const std::wstring& folder : folders) {
    std::wstring dir = ComparableFolder(folder);
    if (!dir.empty()) dirs.push_back(std::move(dir));
  }
  if (dirs.empty()) return std::nullopt;

  const DWORD own_pid = ::GetCurrentProcessId();
  const DWORD own_session = OwnSession();
  base::UniqueHandle snapshot = base::MakeUniqueHandle(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw base::OsError("CreateToolhelp32Snapshot", ::GetLastError());
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    const DWORD pid = entry.th32ProcessID;
    if (pid == own_pid) continue;
    const std::optional<DWORD> session = SessionOfProcess(pid);
    if (session == own_session) continue;
    const std::wstring image = ImageOf(pid);
    if (image.empty()) continue;
    for (const std::wstring& dir : dirs) {
      if (ImageInFolder(image, dir)) return ProcessElsewhere{pid, session, image};
    }
  }
  return std::nullopt;
}

}  // namespace orvek::system
