// Forwards to the subsystems that provide each operation.
#include "app/operations.h"

#include "system/machine_identity.h"

namespace orvek::app {

std::wstring ComputeDeviceInfo() { return orvek::system::ComputeDeviceInfo(); }
std::wstring GetMonitorIds() { return orvek::system::GetMonitorIds(); }
std::wstring ComputeClientId() { return orvek::system::ComputeClientId(); }

// Placeholders until discovery, registration and the services are in:
// nothing installed before.
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
