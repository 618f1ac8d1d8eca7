// The user's proxy settings (Internet Options) as the browser stores them.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::test {

// Which parts of the settings are on.
inline constexpr DWORD kNothingSet = 1, kFixedProxy = 2, kScript = 4, kAutoDetect = 8;

// Writes the current user's settings; the prefix's default (none) returns
// at the end of the scope.
class ScopedProxySettings {
 public:
  ScopedProxySettings(DWORD flags, const std::string& proxy, const std::string& bypass, const std::string& script);
  ~ScopedProxySettings();
  ScopedProxySettings(const ScopedProxySettings&) = delete;
  ScopedProxySettings& operator=(const ScopedProxySettings&) = delete;
};

}  // namespace orvek::test
