#include "system/files/file_holders.h"

#include <windows.h>
#include <restartmanager.h>

#include <exception>
#include <vector>

#include "base/bound_function.h"
#include "base/unique_handle.h"
#include "base/system_library.h"

namespace orvek::system {
namespace {

using StartSessionFn = DWORD(WINAPI*)(DWORD* session, DWORD flags, WCHAR key[]);
using EndSessionFn = DWORD(WINAPI*)(DWORD session);
using RegisterResourcesFn = DWORD(WINAPI*)(DWORD session, UINT files, LPCWSTR names[], UINT applications,
                                           RM_UNIQUE_PROCESS processes[], UINT services, LPCWSTR service_names[]);
using GetListFn = DWORD(WINAPI*)(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO infos[],
                                 LPDWORD reasons);

}  // namespace

std::wstring ProgramsHolding(const std::wstring& path) noexcept {
  try {
    const base::UniqueModule library(base::LoadSystemLibrary(L"rstrtmgr.dll"));
    if (!library) return {};
    const auto start = base::BindFunction<StartSessionFn>(library.get(), "RmStartSession");
    const auto end = base::BindFunction<EndSessionFn>(library.get(), "RmEndSession");
    const auto add = base::BindFunction<RegisterResourcesFn>(library.get(), "RmRegisterResources");
    const auto list = base::BindFunction<GetListFn>(library.get(), "RmGetList");
    if (!start || !end || !add || !list) return {};
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return {};
    std::wstring names;
    LPCWSTR files[] = {path.c_str()};
    std::vector<RM_PROCESS_INFO> infos(8);
    UINT needed = 0, count = static_cast<UINT>(infos.size());
    DWORD reasons = 0;
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        list(session, &needed, &count, infos.data(), &reasons) == ERROR_SUCCESS) {
      for (UINT i = 0; i < count && i < infos.size(); ++i) {
        if (!names.empty()) names += L", ";
        names += std::wstring(infos[i].strAppName) + L" (" + std::to_wstring(infos[i].Process.dwProcessId) + L")";
      }
    }
    end(session);
    return names;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace orvek::system
