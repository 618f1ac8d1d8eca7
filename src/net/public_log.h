// Event reports: one record of what happened, with the machine's identity
// and the package version, posted gzip-compressed to the event service (see
// event_record.h, gzip_member.h and upload_token.h for the bytes).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "net/event_record.h"
#include "net/json_value.h"

namespace orvek::net {

// Sends one report on the calling thread (the installer runs it as
// background work, app/background_work.h): builds the record from `event`,
// posts it to `base_url` + "/front/uploadfile" and logs a failure as
// "PostData error, <message>". `base_url` is kEventServiceUrl in the product
// (net/service_config.h). Never throws.
void ReportEvent(const std::wstring& base_url, const TPublicLogEvent& event) noexcept;

// Sends `document` as compact JSON, UTF-8, one gzip member, by POST over
// HTTP/1.0. Returns the answer body; on any failure logs
// "PostData error, <message>" and returns "". Never throws.
std::wstring PostData(const std::wstring& url, const Json& document, DWORD connect_ms, DWORD read_ms) noexcept;

// Pieces 1 to 3 of the upload token for the current time, MD5 through CNG.
// Throws base::OsError when CNG fails.
std::string BuildUploadToken(std::string_view key, std::string_view id);

}  // namespace orvek::net
