#include "system/identity/machine_identity.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <vector>

#include "log/logs.h"
#include "system/identity/machine_identity_rules.h"
#include "system/identity/wmi_query.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

std::optional<std::uint32_t> g_volume_serial_for_testing;

}  // namespace

std::wstring GetBaseBoardManufacturer() {
  return CleanValue(GetFirstWMIProperty(L"win32_BaseBoard", L"Manufacturer", L""));
}

std::wstring GetBiosManufacturer() {
  return CleanValue(GetFirstWMIProperty(L"win32_Bios", L"Manufacturer", L""));
}

std::wstring GetMonitorIds() {
  return JoinMonitorIds(GetWMIProperty(L"win32_pnpentity", L"DeviceID", L" where service='monitor'", 0));
}

TBios GetBiosInfo() {
  static const std::wstring kBiosKey = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
  TBios bios;
  try {
    if (const std::optional<RegistryKey> key =
            RegistryKey::Open(HKEY_LOCAL_MACHINE, kBiosKey, RegistryAccess::kRead)) {
      bios.Date = key->ReadString(L"BIOSReleaseDate");
      bios.Name = key->ReadString(L"SystemFamily");
      bios.Version = key->ReadString(L"BIOSVersion");
      bios.Num = key->ReadString(L"BaseBoardProduct");
      bios.Copyright = key->ReadString(L"SystemVersion");
      bios.SystemManufacturer = GetBiosManufacturer();
    }
  } catch (const std::exception& failure) {
    log::LogException(L"get bios info error", failure);
  }
  bios.Name = CleanValue(bios.Name);
  return bios;
}

std::wstring ComputeDeviceInfo() {
  // Two statements: the base board is asked before the BIOS.
  std::wstring info = GetBaseBoardManufacturer();
  info += L',';
  info += GetBiosInfo().Name;
  return info;
}

std::wstring GetSystemVolumeSerial() {
  if (g_volume_serial_for_testing) return std::to_wstring(*g_volume_serial_for_testing);
  wchar_t system_dir[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(system_dir, MAX_PATH + 1);
  if (length < 3 || length > MAX_PATH) return std::wstring();
  const std::wstring root(system_dir, 3);
  DWORD serial = 0;
  if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
    return std::wstring();
  }
  return std::to_wstring(serial);
}

void SetVolumeSerialForTesting(std::optional<std::uint32_t> serial) {
  g_volume_serial_for_testing = serial;
}

std::wstring ComputeClientId() {
  // In this order: the processor is asked after the volume, the adapters last.
  const std::wstring serial = GetSystemVolumeSerial();
  const std::wstring cpu = GetCpuInfo().cpuId;
  const std::wstring macs = GetMacAddresses();
  return ClientIdFromParts(serial, cpu, macs);
}

}  // namespace orvek::system
