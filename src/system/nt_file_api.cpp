#include "system/nt_file_api.h"

#include <string>

#include "base/os_error.h"

namespace orvek::system {
namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  if (fn == nullptr) throw base::OsError(std::string("GetProcAddress ") + name, ::GetLastError());
}

NtFileApi Load() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) throw base::OsError("GetModuleHandle ntdll.dll", ::GetLastError());
  NtFileApi api;
  Bind(ntdll, "NtOpenFile", api.NtOpenFile);
  Bind(ntdll, "RtlNtStatusToDosError", api.RtlNtStatusToDosError);
  return api;
}

}  // namespace

const NtFileApi& NtFile() {
  static const NtFileApi api = Load();
  return api;
}

}  // namespace orvek::system
