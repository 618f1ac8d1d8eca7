// The native file calls of ntdll that have no Win32 form: opening or
// creating a name relative to the handle of its directory. ntdll is loaded in every process
// and no import of the product, so the calls are bound once at run time, in
// this one place, with the native calling convention stated.
#pragma once

#include <windows.h>
#include <winternl.h>

namespace orvek::system {

struct NtFileApi {
  using OpenFileFn = NTSTATUS(NTAPI*)(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                                      IO_STATUS_BLOCK* status, ULONG share, ULONG options);
  using CreateFileFn = NTSTATUS(NTAPI*)(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                                        IO_STATUS_BLOCK* status, LARGE_INTEGER* allocation, ULONG file_attributes,
                                        ULONG share, ULONG disposition, ULONG options, void* ea, ULONG ea_length);
  using StatusToErrorFn = ULONG(NTAPI*)(NTSTATUS status);

  OpenFileFn NtOpenFile = nullptr;
  CreateFileFn NtCreateFile = nullptr;
  StatusToErrorFn RtlNtStatusToDosError = nullptr;
};

// The bound calls. Throws base::OsError when ntdll lacks one (no Windows
// since NT 4 and no Wine does). Any thread.
const NtFileApi& NtFile();

}  // namespace orvek::system
