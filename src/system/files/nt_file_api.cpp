#include "system/files/nt_file_api.h"

#include <string>

#include "base/bound_function.h"
#include "base/os_error.h"

namespace orvek::system {
namespace {

NtFileApi Load() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) throw base::OsError("GetModuleHandle ntdll.dll", ::GetLastError());
  NtFileApi api;
  base::BindRequiredFunction(ntdll, "NtOpenFile", api.NtOpenFile);
  base::BindRequiredFunction(ntdll, "NtCreateFile", api.NtCreateFile);
  base::BindRequiredFunction(ntdll, "RtlNtStatusToDosError", api.RtlNtStatusToDosError);
  return api;
}

}  // namespace

const NtFileApi& NtFile() {
  static const NtFileApi api = Load();
  return api;
}

}  // namespace orvek::system
