// Everything an installation needs, taken on the UI thread when the install
// button is pressed, so the worker never reads a control or a window field.
// The first page is hidden and the window's fields are final while a worker
// runs, so the values cannot go stale.
#pragma once

#include <windows.h>

#include <string>

#include "payload/payload_extraction.h"
#include "system/registration/install_scope.h"

namespace orvek::app {

struct InstallRequest {
  // edtInstallDir as shown: the worker trims it (InstallDirectory); the
  // event's "clientPath" carries it unchanged.
  std::wstring target_text;
  bool add_desktop = true;      // chkAddDesktop
  bool add_start_menu = true;   // chkAddStartMenu
  bool clear_data = false;      // chkClearData
  std::wstring free_space_label;  // lblInfo, as measured before the installation

  std::wstring uninstall_v49, uninstall_v50;  // FUninstallV49, FUninstallV50
  HKEY root_key_v50 = HKEY_LOCAL_MACHINE;     // FRootKeyV50
  std::wstring uninstall_all_users;           // FUninstallAllUsers
  orvek::system::InstallScope scope = orvek::system::InstallScope::kCurrentUser;
  std::wstring version, client_id, device_info, monitors;

  // The running installer file and where the archive library resource is.
  orvek::payload::PayloadSource payload;
};

// The installer's own installation recorded in the other scope than the
// request's (the HKLM entry for a per-user run, the HKCU one for an all-users
// run), which this installation replaces; empty when there is none.
inline const std::wstring& OtherScopeInstallation(const InstallRequest& request) {
  return request.scope == orvek::system::InstallScope::kAllUsers ? request.uninstall_v49
                                                                 : request.uninstall_all_users;
}

}  // namespace orvek::app
