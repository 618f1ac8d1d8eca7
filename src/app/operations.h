// The operations of the other subsystems that the installer shell calls, in
// one place, so the window, the first-page set-up and the install job name
// them the way the system's description does.
//
// Threads: the identity and discovery calls run on the UI thread during the
// set-up; the removal, clearing and registration calls on the install
// worker; StartVersionCheck and addPublicLog start threads of their own and
// return at once. None of these threads touches the window: they get plain
// values and, for the version verdict, a shared cell.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/install_request.h"
#include "system/installations/previous_installations.h"

namespace orvek::app {

// FVersionValid: -1 until the version service answers, 0 when it retired the
// package. Shared with the version check thread, which may outlive the window.
using VersionVerdict = std::shared_ptr<std::atomic<std::int32_t>>;

std::wstring ComputeDeviceInfo();
std::wstring GetMonitorIds();
std::wstring ComputeClientId();

using orvek::system::PreviousInstallations;
PreviousInstallations FindPreviousInstallations();

// `backup_name` is the old configuration's backup in the temporary
// directory (ConfigurationBackupName). `before_emptying` runs after it has
// been saved and before the location is moved aside (the worker shows its
// progress text then). The removals are steps of `steps`, taken back when
// the installation fails; they throw system::EarlierInstallationInUse when
// the location cannot be moved aside.
using orvek::system::UpgradeSteps;
// `must_write` (full paths) names the files the new installation writes: a
// held one of those stops the upgrade.
void RemoveInstallationV49(const std::wstring& location, UpgradeSteps& steps, const std::wstring& backup_name,
                           const std::function<void()>& before_emptying,
                           const std::function<bool(const std::wstring&)>& must_write = nullptr);
void RemoveInstallationV50(const std::wstring& location, HKEY root, UpgradeSteps& steps,
                           const std::wstring& backup_name,
                           const std::function<bool(const std::wstring&)>& must_write = nullptr);
// An earlier installation at the target that no entry names.
void RemoveUnrecordedInstallation(const std::wstring& target, UpgradeSteps& steps,
                                  const std::function<bool(const std::wstring&)>& must_write = nullptr);
void ClearUserData();
// Shortcuts and the uninstall entry of `request` for `dir` (its trimmed
// target), in its scope; never throws.
void RegisterInstallation(const InstallRequest& request, const std::wstring& dir);

// Asks the version service about `version` on a thread of its own and stores
// the answer in `verdict`.
void StartVersionCheck(const std::wstring& version, const VersionVerdict& verdict);

// Posts one event report on a thread of its own with the identity carried by
// `request`; returns at once, never fails its caller.
void addPublicLog(const InstallRequest& request, const std::wstring& page, const std::wstring& control,
                  const std::wstring& event, const std::string& ext_data);

}  // namespace orvek::app
