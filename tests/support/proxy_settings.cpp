#include "support/proxy_settings.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace orvek::test {
namespace {

constexpr const wchar_t* kConnections = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

}  // namespace

ScopedProxySettings::ScopedProxySettings(DWORD flags, const std::string& proxy, const std::string& bypass,
                                         const std::string& script) {
  std::string blob;
  const auto dword = [&](std::uint32_t v) { blob.append(reinterpret_cast<const char*>(&v), 4); };
  dword(0x46);  // the layout's version
  dword(1);     // how often it was saved
  dword(flags);
  for (const std::string& text : {proxy, bypass, script}) {
    dword(static_cast<std::uint32_t>(text.size()));
    blob += text;
  }
  blob.append(32, '\0');
  EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings", REG_BINARY,
                              blob.data(), static_cast<DWORD>(blob.size())),
            ERROR_SUCCESS);
}

ScopedProxySettings::~ScopedProxySettings() {
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings");
}

}  // namespace orvek::test
