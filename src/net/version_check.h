// The version check: asks the version service once whether this package
// may still be installed (see version_check_rules.h for the request and the
// verdict).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orvek::net {

// Runs the check on the calling thread (the installer runs it as background
// work, app/background_work.h). `verdict` (the window's FVersionValid, -1
// before) gets one store of the service's verdict, or none when the answer
// carries none or the check fails; a failure is logged as
// "CheckVersion error, <message>". `base_url` is kVersionServiceUrl in the
// product (net/service_config.h). Never throws.
void RunVersionCheck(const std::wstring& base_url, const std::wstring& version,
                     std::atomic<std::int32_t>& verdict) noexcept;

}  // namespace orvek::net
