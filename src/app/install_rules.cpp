#include "app/install_rules.h"

#include <cstdio>

#include "base/text.h"
#include "base/unicode.h"
#include "net/json_value.h"

namespace orvek::app {

std::wstring StripTrailingBackslashes(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring ChooseTargetDirectory(const std::wstring& v49, const std::wstring& v50,
                                   const std::wstring& program_files,
                                   const std::function<bool(const std::wstring&)>& directory_exists) {
  std::wstring chosen;
  if (!v49.empty() && directory_exists(v49)) {
    chosen = v49;
  } else if (!v50.empty() && directory_exists(v50)) {
    chosen = v50;
  } else {
    chosen = program_files + L"\\" + kSubPath;
  }
  return StripTrailingBackslashes(std::move(chosen));
}

int ExpandHeight(int width) { return static_cast<int>(width * 460 / 520.0); }

bool HasTooLittleSpace(double gigabytes) { return gigabytes < kFreeSpaceThreshold; }

std::wstring FreeSpaceText(double gigabytes, wchar_t decimal_separator) {
  char number[64];
  std::snprintf(number, sizeof number, "%.2f", gigabytes);
  std::wstring text = L"磁盘剩余空间：";
  for (const char* c = number; *c; ++c) text += *c == '.' ? decimal_separator : static_cast<wchar_t>(*c);
  return text + L"GB";
}

std::wstring FolderBrowserStart(const std::wstring& target) {
  return target.size() <= kSubPathLength ? std::wstring() : target.substr(0, target.size() - kSubPathLength);
}

std::wstring TargetBelowFolder(const std::wstring& chosen) {
  std::wstring dir = chosen;
  if (dir.empty() || dir.back() != L'\\') dir += L'\\';
  return dir + kSubPath;
}

std::wstring InstallDirectory(const std::wstring& text) {
  return StripTrailingBackslashes(std::wstring(orvek::base::Trim(text)));
}

std::wstring FreeSpaceValue(const std::wstring& label) {
  const size_t colon = label.find(L'\xFF1A');
  return colon == std::wstring::npos ? label : label.substr(colon + 1);
}

std::string InstallExtraData(const std::wstring& target_text, const std::wstring& free_space_label) {
  orvek::net::Json data = orvek::net::Json::object();
  data["clientPath"] = orvek::base::Utf8FromWide(target_text);
  data["clientPathAvlspace"] = orvek::base::Utf8FromWide(FreeSpaceValue(free_space_label));
  return orvek::net::WriteJson(data);
}

bool RequestsUpdaterRemoval(const std::wstring& installer_path) {
  return installer_path.find(L"noupdate") != std::wstring::npos;
}

ScopeChoice ChooseInstallScope(const ScopeFacts& facts) {
  using orvek::system::InstallScope;
  ScopeChoice choice;
  if (facts.all_users_switch) {
    choice = {InstallScope::kAllUsers, L"/ALLUSERS"};
  } else if (facts.local_system) {
    choice = {InstallScope::kAllUsers, L"running as LocalSystem"};
  } else if (!facts.all_users_installation.empty()) {
    choice = {InstallScope::kAllUsers, L"upgrading the all-users installation in " + facts.all_users_installation};
  } else if (facts.current_user_switch) {
    return {InstallScope::kCurrentUser, L"/CURRENTUSER"};
  } else if (facts.unattended) {
    choice = {InstallScope::kAllUsers, L"silent run without /CURRENTUSER"};
  } else {
    return {InstallScope::kCurrentUser, L"run from the window, no all-users installation found"};
  }
  if (facts.current_user_switch) choice.reason += L", /CURRENTUSER does not apply";
  return choice;
}

std::wstring ConfigurationBackupName(const std::wstring& location, const std::wstring& target,
                                     const std::wstring& label) {
  return SameDirectory(location, target) ? L"orvekteacher.cfg" : L"orvekteacher." + label + L".cfg";
}

bool SameDirectory(const std::wstring& a, const std::wstring& b) {
  return orvek::base::SameText(StripTrailingBackslashes(a), StripTrailingBackslashes(b));
}

std::wstring FormSizeLine(int width, int height, const std::wstring& client_id) {
  return L"formsize" + std::to_wstring(width) + L"," + std::to_wstring(height) + L", " + client_id;
}

}  // namespace orvek::app
