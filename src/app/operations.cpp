// Forwards to the subsystems that provide each operation.
#include "app/operations.h"

#include "system/installation_registration.h"
#include "system/machine_identity.h"
#include "system/previous_installations.h"

namespace orvek::app {

std::wstring ComputeDeviceInfo() { return orvek::system::ComputeDeviceInfo(); }
std::wstring GetMonitorIds() { return orvek::system::GetMonitorIds(); }
std::wstring ComputeClientId() { return orvek::system::ComputeClientId(); }

// Placeholders until the services are in. Both must start their threads
// through StartBackgroundWork (background_work.h), so that an unattended run
// can wait for the verdict and the report.
void StartVersionCheck(const std::wstring&, const VersionVerdict&) {}
void addPublicLog(const InstallRequest&, const std::wstring&, const std::wstring&, const std::wstring&,
                  const std::string&) {}

PreviousInstallations FindPreviousInstallations() {
  const orvek::system::PreviousInstallations found = orvek::system::FindPreviousInstallations();
  return {found.uninstall_v49, found.uninstall_v50, found.root_key_v50};
}

void RemoveInstallationV49(const std::wstring& location, const std::function<void()>& before_emptying) {
  // The removal saves the configuration and empties the location in one
  // call, so the progress text comes just before it.
  before_emptying();
  orvek::system::RemoveInstallationV49(location);
}

void RemoveInstallationV50(const std::wstring& location, HKEY root) {
  orvek::system::RemoveInstallationV50(location, root);
}

void ClearUserData() { orvek::system::ClearUserData(); }

void RegisterInstallation(const std::wstring& dir, bool add_desktop, bool add_start_menu) {
  orvek::system::RegisterInstallation({dir, add_desktop, add_start_menu});
}

}  // namespace orvek::app
