// What the version check sends and how it reads the answer. Pure code.
//
// The version service answers a GET of
//   <base>/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=6.15.1
// with an object such as {"result":{"code":"0"},"data":{"status":1}}; a
// "status" of 0 retires the package.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvek::net {

// An object answer that lacks "result" or "data": a failure of the check.
class VersionAnswerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The package version without any "v" or "V", wherever they stand:
// L"v6.15.1" => L"6.15.1"; L"V6.15.1-dev" => L"6.15.1-de".
std::wstring VersionName(std::wstring_view version);

// The request URL. The version name goes in unescaped: the service expects
// it as it is. (L"http://h", L"v6.15.1") =>
// L"http://h/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=6.15.1"
std::wstring VersionCheckUrl(std::wstring_view base_url, std::wstring_view version);

// The verdict in an answer body (UTF-8): "data" -> "status" read as integer.
// nullopt when the answer says nothing: not JSON, not an object, "result" ->
// "code" other than "0", or a "status" that is missing, null, "" or "null".
// Throws VersionAnswerError when an object lacks "result" or "data", and
// JsonLimitError (json_value.h) for an answer nested too deep or too wide.
std::optional<std::int32_t> VersionVerdict(std::string_view body);

}  // namespace orvek::net
