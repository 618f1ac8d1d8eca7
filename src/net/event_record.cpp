#include "net/event_record.h"

#include "log/date_format.h"
#include "base/unicode.h"

namespace orvek::net {
namespace {

std::string Utf8(std::wstring_view text) { return base::Utf8FromWide(text); }

}  // namespace

std::wstring FormatEventTime(const log::LocalTime& time) {
  return log::FormatDateTime(L"yyyy-mm-dd hh:nn:ss.zzz", time);
}

Json BuildEventRecord(const TPublicLogEvent& event, std::wstring_view ev_time) {
  Json record = Json::object();
  record["evTime"] = Utf8(ev_time);
  record["source"] = "NATIVE";
  record["page"] = Utf8(event.page);
  record["control"] = Utf8(event.control);
  record["event"] = Utf8(event.event);
  std::optional<Json> ext = ParseJson(Utf8(event.extData));
  record["extData"] = ext ? std::move(*ext) : Json(nullptr);
  record["uid"] = 0;
  record["username"] = "public";
  record["organId"] = 0;
  record["appType"] = "teacher-pc";
  record["appVersion"] = Utf8(event.version);
  record["clientId"] = Utf8(event.clientId);
  record["device"] = Utf8(event.deviceInfo);
  record["monitors"] = Utf8(event.monitors);
  return record;
}

Json BuildUploadDocument(Json record, const std::string& token) {
  Json document = Json::object();
  document["logJson"] = Json::array({std::move(record)});
  document["token"] = token;
  return document;
}

}  // namespace orvek::net
