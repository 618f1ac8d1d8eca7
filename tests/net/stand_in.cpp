#include "net/stand_in.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "base/unicode.h"
#include "net/service_config.h"
#include "support/child_process.h"

namespace orvek::test {

std::wstring StandInUrl(const std::string& verdict, const std::string& tag) {
  return std::wstring(net::kVersionServiceUrl) + L"/verdict/" + base::WideFromUtf8(verdict) + L"/tag/" +
         base::WideFromUtf8(tag);
}

std::wstring RefusingUrl() {
  // A port that was free a moment ago: bound, its number read, released.
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::closesocket(s);
  ::WSACleanup();
  return L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port));
}

std::wstring SilentUrl() { return L"http://127.0.0.1:" + std::to_wstring(ORVEK_STAND_IN_FULL_PORT); }

std::vector<net::Json> RecordedRequests(const std::string& tag) {
  std::ifstream file(std::filesystem::path(WindowsPath(ORVEK_STAND_IN_RECORD)));
  std::vector<net::Json> requests;
  const std::string marker = "/tag/" + tag + "/";
  for (std::string line; std::getline(file, line);) {
    std::optional<net::Json> request = net::ParseJson(line);
    if (request && request->value("path", "").find(marker) != std::string::npos)
      requests.push_back(std::move(*request));
  }
  return requests;
}

const net::Json* RecordedHeader(const net::Json& request, const std::string& name) {
  for (const auto& header : request["headers"]) {
    if (base::SameText(base::WideFromUtf8(header[0].get<std::string>()), base::WideFromUtf8(name)))
      return &header[1];
  }
  return nullptr;
}

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int CountLines(const std::string& log, const std::string& text) {
  std::istringstream lines(log);
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

}  // namespace orvek::test
