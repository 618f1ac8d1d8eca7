// Forwards to the subsystems that provide each operation.
#include "app/operations.h"

namespace orvek::app {

// Placeholders until machine identity, discovery, registration and the
// services are in: an unknown machine with nothing installed before.
std::wstring ComputeDeviceInfo() { return L"unknown"; }
std::wstring GetMonitorIds() { return L"unknown"; }
std::wstring ComputeClientId() { return L""; }
PreviousInstallations FindPreviousInstallations() { return {}; }
void RemoveInstallationV49(const std::wstring&, const std::function<void()>& before_emptying) {
  before_emptying();
}
void RemoveInstallationV50(const std::wstring&, HKEY) {}
void ClearUserData() {}
void RegisterInstallation(const std::wstring&, bool, bool) {}
void StartVersionCheck(const std::wstring&, const VersionVerdict&) {}
void addPublicLog(const InstallRequest&, const std::wstring&, const std::wstring&, const std::wstring&,
                  const std::string&) {}

}  // namespace orvek::app
