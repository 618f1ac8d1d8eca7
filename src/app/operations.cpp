// Forwards to the subsystems that provide each operation.
#include "app/operations.h"

#include <exception>
#include <thread>

#include "base/unicode.h"
#include "log/logs.h"
#include "net/public_log.h"
#include "net/service_config.h"
#include "net/version_check.h"
#include "system/installation_registration.h"
#include "system/machine_identity.h"

namespace orvek::app {

std::wstring ComputeDeviceInfo() { return orvek::system::ComputeDeviceInfo(); }
std::wstring GetMonitorIds() { return orvek::system::GetMonitorIds(); }
std::wstring ComputeClientId() { return orvek::system::ComputeClientId(); }

PreviousInstallations FindPreviousInstallations() { return orvek::system::FindPreviousInstallations(); }

void RemoveInstallationV49(const std::wstring& location, const std::function<void()>& before_emptying) {
  orvek::system::RemoveInstallationV49(location, before_emptying);
}

void RemoveInstallationV50(const std::wstring& location, HKEY root) {
  orvek::system::RemoveInstallationV50(location, root);
}

void ClearUserData() { orvek::system::ClearUserData(); }

void RegisterInstallation(const std::wstring& dir, bool add_desktop, bool add_start_menu) {
  orvek::system::RegisterInstallation({dir, add_desktop, add_start_menu});
}

void StartVersionCheck(const std::wstring& version, const VersionVerdict& verdict) {
  // The thread keeps the verdict's cell alive itself, so an answer that comes
  // after the window has gone writes into the cell, not into the window.
  try {
    std::thread([version, verdict] {
      orvek::net::RunVersionCheck(orvek::net::kVersionServiceUrl, version, *verdict);
    }).detach();
  } catch (const std::exception& e) {
    orvek::log::LogError(L"CheckVersion error, " + orvek::base::WideFromUtf8(e.what()));
  }
}

void addPublicLog(const InstallRequest& request, const std::wstring& page, const std::wstring& control,
                  const std::wstring& event, const std::string& ext_data) {
  orvek::net::TPublicLogEvent report;
  report.page = page;
  report.control = control;
  report.event = event;
  report.extData = orvek::base::WideFromUtf8(ext_data);
  report.version = request.version;
  report.clientId = request.client_id;
  report.deviceInfo = request.device_info;
  report.monitors = request.monitors;
  orvek::net::addPublicLog(orvek::net::kEventServiceUrl, std::move(report));
}

}  // namespace orvek::app
