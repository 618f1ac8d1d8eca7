#include "system/identity/processor_identity.h"

#include <windows.h>

#include <cpuid.h>

#include <exception>
#include <optional>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/identity/machine_identity_rules.h"
#include "system/processes/privilege.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

// The access rights the process and token are opened with.
constexpr DWORD kTokenAllAccess = 0xF01FF;
constexpr DWORD kProcessAllAccess = 0x1FFFFF;

bool HasIdentificationInstruction() {
#if defined(__i386__)
  // A processor that knows the instruction lets the ID bit (21) of the flags
  // register be flipped; older ones keep it fixed.
  unsigned long flipped = 0;
  unsigned long original = 0;
  __asm__ volatile(
      "pushfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %0\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "popfl\n\t"
      : "=&r"(flipped), "=&r"(original)
      :
      : "cc");
  return ((flipped ^ original) & 0x200000) != 0;
#else
  return true;  // every x86-64 processor has it
#endif
}

const std::wstring kProcessorKey = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr const wchar_t* kDebugPrivilege = L"SeDebugPrivilege";

}  // namespace

std::wstring GetCpuId() {
  if (!HasIdentificationInstruction()) return std::wstring();
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  return RegisterSumHex(eax, ebx, ecx, edx);
}

std::wstring GetProcessorName() {
  const std::optional<RegistryKey> key =
      RegistryKey::Open(HKEY_LOCAL_MACHINE, kProcessorKey, RegistryAccess::kRead);
  if (!key) return std::wstring();
  try {
    return key->ReadString(L"ProcessorNameString");
  } catch (const std::exception& failure) {
    log::LogError(L"GetProcessorName error, " + base::WideFromUtf8(failure.what()));
    return std::wstring();
  }
}

namespace {

// The identification on processor 0, the process's affinity put back.
TCpuInfo QueryOnProcessorZero() {
  TCpuInfo info;
  const base::UniqueHandle process(::OpenProcess(kProcessAllAccess, FALSE, ::GetCurrentProcessId()));
  if (!process) {
    log::LogErrorFmt(L"openprocess failed, %d", ::GetLastError());
    return info;
  }
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (!::GetProcessAffinityMask(process.get(), &process_mask, &system_mask)) {
    log::LogErrorFmt(L"GetProcessAffinityMask error %d", ::GetLastError());
    return info;
  }
  if (!::SetProcessAffinityMask(process.get(), 1)) {
    log::LogErrorFmt(L"SetProcessAffinityMask error %d", ::GetLastError());
    return info;
  }
  info.cpuId = GetCpuId();
  info.cpuInfo = GetProcessorName();
  if (!::SetProcessAffinityMask(process.get(), process_mask)) {
    log::LogErrorFmt(L"SetProcessAffinityMask ProcessAffinity error %d", ::GetLastError());
  }
  return info;
}

}  // namespace

TCpuInfo GetCpuInfo() {
  HANDLE raw_token = nullptr;
  const bool opened = ::OpenProcessToken(::GetCurrentProcess(), kTokenAllAccess, &raw_token) != 0;
  const base::UniqueHandle token(opened ? raw_token : nullptr);
  bool enabled_here = false;
  if (!opened || !SetPrivilege(token.get(), kDebugPrivilege, true, &enabled_here)) {
    log::LogError(L"OpenProcessToken SetPrivilege failed.");
  }
  const TCpuInfo info = QueryOnProcessorZero();
  // Only for the query: the client and the check tool that the installer
  // starts at the end would inherit the privilege from its token.
  if (enabled_here) SetPrivilege(token.get(), kDebugPrivilege, false);
  return info;
}

}  // namespace orvek::system
