// Machine identity: the client identifier and the description of the machine.
//
// The three strings that describe the machine the installer runs on, computed
// once while the main window is created and sent with every event report:
// the client identifier, the device description and the monitor list.
//
// None of these fails its caller; what cannot be obtained is logged and
// becomes "unknown" or an empty part. The WMI queries need COM: call them on
// the UI thread (a single-threaded apartment; see GetWMIProperty).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "system/identity/adapter_addresses.h"
#include "system/identity/processor_identity.h"

namespace orvek::system {

// Values of HKLM "HARDWARE\DESCRIPTION\System\BIOS" and the BIOS maker.
struct TBios {
  std::wstring Date;                // "BIOSReleaseDate"
  std::wstring Name;                // "SystemFamily", cleaned (never empty)
  std::wstring Version;             // "BIOSVersion"
  std::wstring Num;                 // "BaseBoardProduct"
  std::wstring Copyright;           // "SystemVersion"
  std::wstring SystemManufacturer;  // GetBiosManufacturer
};

// Manufacturer of win32_BaseBoard / win32_Bios, cleaned: L"unknown" when WMI
// has none.
std::wstring GetBaseBoardManufacturer();
std::wstring GetBiosManufacturer();

// DeviceID of every win32_pnpentity served by "monitor", joined with ",";
// L"unknown" when there is none or the query fails (logged).
std::wstring GetMonitorIds();

// The BIOS key's values; all empty (and no WMI query) when the key does not
// open. A failure while reading is logged as "get bios info error" and keeps
// what was read before it. Name is cleaned in every case.
TBios GetBiosInfo();

// Base-board manufacturer + "," + BIOS system family, both cleaned:
// L"LENOVO,ThinkPad T480", L"unknown,unknown".
std::wstring ComputeDeviceInfo();

// Serial number of the volume holding the system folder, in decimal
// (L"2882400018"); empty when the volume cannot be asked.
std::wstring GetSystemVolumeSerial();

// Tests only: the serial number GetSystemVolumeSerial reports instead of the
// volume's (Wine fixes a drive's serial while its prefix runs); nullopt asks
// the volume again.
void SetVolumeSerialForTesting(std::optional<std::uint32_t> serial);

// SHA-1 of volume serial + processor identification + adapter addresses,
// as 40 upper-case hexadecimal digits. The same on every run on one machine
// as long as volume, processor and adapters stay the same.
std::wstring ComputeClientId();

}  // namespace orvek::system
