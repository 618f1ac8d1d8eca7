// The processor's part of the machine identity.
#pragma once

#include <string>

namespace orvek::system {

struct TCpuInfo {
  std::wstring cpuId;    // GetCpuId
  std::wstring cpuInfo;  // GetProcessorName
};

// The four result registers of identification leaf 1 (signature, APIC and
// feature words) added modulo 2^32, as 8 upper-case hexadecimal digits.
// Empty on a processor without the identification instruction (the ID bit
// of the flags register does not change; only possible on 32-bit x86).
// Leaf 1 names the core it runs on, so only GetCpuInfo, which binds the
// process to processor 0 around the call, gives a value that is the same on
// every run.
std::wstring GetCpuId();

// "ProcessorNameString" of HKLM "HARDWARE\DESCRIPTION\System\CentralProcessor\0";
// empty when the key does not open or the value is missing or unreadable
// (the latter logged).
std::wstring GetProcessorName();

// Enables the debug privilege on the own token, binds the process to
// processor 0, reads GetCpuId and GetProcessorName, and restores the
// process's affinity mask and then the privilege as it was (programs the
// installer starts inherit its token). Every failure is logged:
//   "OpenProcessToken SetPrivilege failed." - goes on;
//   "openprocess failed, <error>", "GetProcessAffinityMask error <error>",
//   "SetProcessAffinityMask error <error>" - both fields stay empty;
//   "SetProcessAffinityMask ProcessAffinity error <error>" - the process
//   stays on processor 0.
// Runs on the UI thread during window creation; for its duration every
// thread of the process runs on processor 0 only.
TCpuInfo GetCpuInfo();

}  // namespace orvek::system
