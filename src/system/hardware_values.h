// Reading the machine's hardware descriptions under HKEY_LOCAL_MACHINE
// (BIOS, processor). Read-only, in the view a 32-bit process gets.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle.h"

namespace orvek::system {

// HKEY_LOCAL_MACHINE\<subkey> opened for reading; an empty key when it does
// not open (missing, access denied).
base::UniqueKey OpenLocalMachineKeyForReading(const std::wstring& subkey);

// The text of the string value `name` of `key` (REG_SZ or REG_EXPAND_SZ, not
// expanded); empty when there is no such value. A value of another type reads
// as empty and logs the warning "registry value is not a string, <key_path>\<name>".
// Throws base::OsError when the value exists but cannot be read.
std::wstring ReadStringValue(HKEY key, const std::wstring& key_path, const wchar_t* name);

}  // namespace orvek::system
