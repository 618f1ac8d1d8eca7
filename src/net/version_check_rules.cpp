#include "net/version_check_rules.h"

#include "net/json_value.h"

namespace orvek::net {

std::wstring VersionName(std::wstring_view version) {
  std::wstring name;
  for (const wchar_t c : version) {
    if (c != L'v' && c != L'V') name += c;
  }
  return name;
}

std::wstring VersionCheckUrl(std::wstring_view base_url, std::wstring_view version) {
  std::wstring url(base_url);
  url += L"/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=";
  url += VersionName(version);
  return url;
}

std::optional<std::int32_t> VersionVerdict(std::string_view body) {
  const std::optional<Json> answer = ParseJson(body);
  if (!answer || !answer->is_object()) return std::nullopt;
  const Json* result = FindMember(*answer, "result");
  if (result == nullptr) throw VersionAnswerError("the answer has no \"result\"");
  if (ReadAsText(*result, "code") != "0") return std::nullopt;
  const Json* data = FindMember(*answer, "data");
  if (data == nullptr) throw VersionAnswerError("the answer has no \"data\"");
  if (ReadAsText(*data, "status").empty()) return std::nullopt;
  return ReadAsInteger(*data, "status");
}

}  // namespace orvek::net
