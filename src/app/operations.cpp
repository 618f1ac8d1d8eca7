// Forwards to the subsystems that provide each operation.
#include "app/operations.h"

#include <exception>

#include "app/background_work.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "net/public_log.h"
#include "net/service_config.h"
#include "net/version_check.h"
#include "system/identity/machine_identity.h"
#include "system/installations/previous_installations.h"
#include "system/registration/installation_registration.h"

namespace orvek::app {

std::wstring ComputeDeviceInfo() { return orvek::system::ComputeDeviceInfo(); }
std::wstring GetMonitorIds() { return orvek::system::GetMonitorIds(); }
std::wstring ComputeClientId() { return orvek::system::ComputeClientId(); }

// Both services run on threads counted by StartBackgroundWork, which the
// window never waits for and an unattended run does.
void StartVersionCheck(const std::wstring& version, const VersionVerdict& verdict) {
  // The thread keeps the verdict's cell alive itself, so an answer that comes
  // after the window has gone writes into the cell, not into the window.
  try {
    StartBackgroundWork([version, verdict] {
      orvek::net::RunVersionCheck(orvek::net::kVersionServiceUrl, version, *verdict);
    });
  } catch (const std::exception& e) {
    // No thread for the check: the package stays allowed, as after a failed check.
    orvek::log::LogError(L"CheckVersion error, " + orvek::base::WideFromUtf8(e.what()));
  }
}

void addPublicLog(const InstallRequest& request, const std::wstring& page, const std::wstring& control,
                  const std::wstring& event, const std::string& ext_data) {
  orvek::net::TPublicLogEvent record;
  record.page = page;
  record.control = control;
  record.event = event;
  record.extData = orvek::base::WideFromUtf8(ext_data);
  record.version = request.version;
  record.clientId = request.client_id;
  record.deviceInfo = request.device_info;
  record.monitors = request.monitors;
  try {
    StartBackgroundWork([record = std::move(record)] {
      orvek::net::ReportEvent(orvek::net::kEventServiceUrl, record);
    });
  } catch (const std::exception& e) {
    // No thread for the report: it is lost, as a failed upload is.
    orvek::log::LogError(L"PostData error, " + orvek::base::WideFromUtf8(e.what()));
  }
}

PreviousInstallations FindPreviousInstallations() { return orvek::system::FindPreviousInstallations(); }

void RemoveInstallationV49(const std::wstring& location, UpgradeSteps& steps, const std::wstring& backup_name,
                           const std::function<void()>& before_emptying,
                           const std::function<bool(const std::wstring&)>& must_write) {
  orvek::system::RemoveInstallationV49(location, steps, backup_name, before_emptying, must_write);
}

void RemoveInstallationV50(const std::wstring& location, HKEY root, UpgradeSteps& steps,
                           const std::wstring& backup_name,
                           const std::function<bool(const std::wstring&)>& must_write) {
  orvek::system::RemoveInstallationV50(location, root, steps, backup_name, must_write);
}

void RemoveUnrecordedInstallation(const std::wstring& target, UpgradeSteps& steps,
                                  const std::function<bool(const std::wstring&)>& must_write) {
  orvek::system::RemoveUnrecordedInstallation(target, steps, must_write);
}

void ClearUserData() { orvek::system::ClearUserData(); }

void RegisterInstallation(const InstallRequest& request, const std::wstring& dir) {
  orvek::system::RegisterInstallation({dir, request.add_desktop, request.add_start_menu, orvek::net::kWebSiteHome,
                                       request.scope, request.version, !OtherScopeInstallation(request).empty()});
}

}  // namespace orvek::app

