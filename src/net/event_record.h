// The install event as the event service receives it. Pure code.
//
// Upload document (compact JSON, then gzip, see gzip_member.h):
//   {"logJson":[{"evTime":"2024-03-05 09:07:02.045","source":"NATIVE",
//     "page":...,"control":...,"event":...,"extData":<JSON value or null>,
//     "uid":0,"username":"public","organId":0,"appType":"teacher-pc",
//     "appVersion":"v6.15.1","clientId":...,"device":...,"monitors":...}],
//    "token":"<46 characters>"}
#pragma once

#include <string>
#include <string_view>

#include "log/logging_event.h"
#include "net/json_value.h"

namespace orvek::net {

// Everything one report needs, copied from the caller and the window, so the
// report's thread shares nothing with them.
struct TPublicLogEvent {
  std::wstring page;
  std::wstring control;
  std::wstring event;
  std::wstring extData;  // JSON text, embedded as a value; non-JSON gives null, one beyond
                         // the JSON limits (json_value.h) fails the report
  std::wstring version;  // FVersion, "v" included
  std::wstring clientId;    // FClientId
  std::wstring deviceInfo;  // FDeviceInfo
  std::wstring monitors;    // FMonitors
};

// 2024-03-05 09:07:02.045 => L"2024-03-05 09:07:02.045"
std::wstring FormatEventTime(const log::LocalTime& time);

// The event record, members in the order of the diagram above.
Json BuildEventRecord(const TPublicLogEvent& event, std::wstring_view ev_time);

// {"logJson":[record],"token":token}
Json BuildUploadDocument(Json record, const std::string& token);

}  // namespace orvek::net
