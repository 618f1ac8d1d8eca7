// The network adapters' part of the machine identity.
#pragma once

#include <string>

namespace orvek::system {

// The addresses of the LAN adapters NetBIOS enumerates, in its order, as 12
// upper-case hexadecimal digits each, separated by ";": L"525400123456;0A0B0C0D0E0F".
// An adapter whose status query fails contributes nothing; no adapters, or
// no NetBIOS, give L"" (the latter logged). netapi32 is loaded from the
// system folder at the first call.
std::wstring GetMacAddresses();

}  // namespace orvek::system
