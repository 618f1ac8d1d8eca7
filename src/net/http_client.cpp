#include "net/http_client.h"

#include <string>
#include <vector>

#include "base/unicode.h"
#include "log/logs.h"
#include "net/http_charset.h"
#include "net/proxy_route.h"
#include "net/proxy_rules.h"

namespace orvek::net {
namespace {

// "WinHttpSendRequest failed, error 12029 (cannot connect)": the number
// alone tells a technician reading the log little.
[[noreturn]] void ThrowLastError(const char* operation, bool sending = false) {
  const DWORD code = ::GetLastError();
  std::string message = std::string(operation) + " failed, error " + std::to_string(code);
  // Sending begins with connecting; these end it before anything went out.
  const bool unreached = sending && (code == ERROR_WINHTTP_CANNOT_CONNECT || code == ERROR_WINHTTP_TIMEOUT ||
                                     code == ERROR_WINHTTP_NAME_NOT_RESOLVED);
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:  // what some WinHTTP implementations report for a read
      message += " (timed out)";
      break;
    case ERROR_WINHTTP_CANNOT_CONNECT: message += " (cannot connect)"; break;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: message += " (name not resolved)"; break;
    case ERROR_WINHTTP_CONNECTION_ERROR: message += " (connection reset)"; break;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: message += " (invalid answer)"; break;
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: message += " (not an http URL)"; break;
    case ERROR_WINHTTP_INVALID_URL: message += " (invalid URL)"; break;
    default: break;
  }
  throw HttpError(message, unreached);
}

std::wstring QueryText(HINTERNET request, DWORD info) {
  DWORD bytes = 0;
  WinHttp().QueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                         WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (!WinHttp().QueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                              WINHTTP_NO_HEADER_INDEX))
    return {};
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

DWORD QueryNumber(HINTERNET request, DWORD info, DWORD missing) {
  DWORD value = 0;
  DWORD bytes = sizeof value;
  if (!WinHttp().QueryHeaders(request, info | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                              &value, &bytes, WINHTTP_NO_HEADER_INDEX))
    return missing;
  return value;
}

std::wstring Decode(const std::string& body, const std::wstring& content_type) {
  const std::uint32_t code_page = CodePageOfCharset(CharsetOfContentType(content_type));
  if (code_page == kCodePageUtf16Le || code_page == kCodePageUtf16Be)
    return base::WideFromUtf16(body, code_page == kCodePageUtf16Be);
  if (code_page != kCodePageUtf8 && !body.empty()) {
    const int size = static_cast<int>(body.size());
    const int n = ::MultiByteToWideChar(code_page, 0, body.data(), size, nullptr, 0);
    if (n > 0) {
      std::wstring text(static_cast<std::size_t>(n), L'\0');
      ::MultiByteToWideChar(code_page, 0, body.data(), size, text.data(), n);
      return text;
    }
    // A code page this system lacks: read it as the services' UTF-8.
  }
  return base::WideFromUtf8(body);
}

// Reads the body, refusing one beyond kMaxAnswerBytes before it is in memory.
std::string ReadBody(HINTERNET request) {
  const DWORD declared = QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, 0);
  if (declared > kMaxAnswerBytes) throw HttpError("the answer is longer than 1 MiB");
  std::string body;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!WinHttp().ReadData(request, chunk.data(), static_cast<DWORD>(chunk.size()), &read))
      ThrowLastError("WinHttpReadData");
    if (read == 0) return body;
    if (body.size() + read > kMaxAnswerBytes) throw HttpError("the answer is longer than 1 MiB");
    body.append(chunk.data(), read);
  }
}

void SetDword(HINTERNET handle, DWORD option, DWORD value, const char* what) {
  if (!WinHttp().SetOption(handle, option, &value, sizeof value)) ThrowLastError(what);
}

}  // namespace

THttpClient::THttpClient(DWORD connect_ms, DWORD read_ms) : connect_ms_(connect_ms), read_ms_(read_ms) {
  try {
    WinHttp();
  } catch (const std::exception& e) {
    throw HttpError(e.what());
  }
  session_ = OpenSession(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, L"", L"");
}

UniqueInternet THttpClient::OpenSession(DWORD access, const std::wstring& proxy, const std::wstring& bypass) const {
  const WinHttpApi& api = WinHttp();
  // No agent name: WinHTTP then sends no User-Agent header. A proxy chosen
  // for one request is given to a session of its own: WinHTTP then applies
  // the bypass list itself, and every WinHTTP knows proxies set this way.
  UniqueInternet session(api.Open(nullptr, access, proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
                                  bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0));
  if (!session) ThrowLastError("WinHttpOpen");
  if (!api.SetTimeouts(session.get(), static_cast<int>(connect_ms_), static_cast<int>(connect_ms_),
                       static_cast<int>(read_ms_), static_cast<int>(read_ms_)))
    ThrowLastError("WinHttpSetTimeouts");
  return session;
}

std::wstring THttpClient::Get(const std::wstring& url) { return Send(L"GET", url, L"HTTP/1.1", {}); }

std::wstring THttpClient::Post(const std::wstring& url, std::string_view body) {
  return Send(L"POST", url, L"HTTP/1.0", body);
}

std::wstring THttpClient::Send(const wchar_t* method, const std::wstring& url, const wchar_t* version,
                               std::string_view body) {
  const ProxyRoute route = ChooseProxyRoute(url, connect_ms_, read_ms_);
  if (route.kind == ProxyRoute::Kind::kMachine) return Exchange(session_.get(), method, url, version, body, false);
  for (std::size_t i = 0;; ++i) {
    const std::wstring& hop = route.hops[i];
    const bool direct = hop == kDirectHop;
    const UniqueInternet session = direct ? OpenSession(WINHTTP_ACCESS_TYPE_NO_PROXY, L"", L"")
                                          : OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, hop, route.bypass);
    try {
      return Exchange(session.get(), method, url, version, body, route.discovered && !direct);
    } catch (const HttpError& e) {
      // One line still tells the technician which proxy failed.
      const std::string failure =
          direct ? e.what() : std::string(e.what()) + ", through proxy " + base::Utf8FromWide(hop);
      if (!e.unreached() || i + 1 == route.hops.size()) throw HttpError(failure);
      log::LogWarn((direct ? L"direct connection failed, " : L"proxy not reached, ") + base::WideFromUtf8(failure) +
                   L", trying " + route.hops[i + 1]);
    }
  }
}

std::wstring THttpClient::Exchange(HINTERNET session, const wchar_t* method, const std::wstring& url,
                                   const wchar_t* version, std::string_view body, bool no_credentials) {
  const WinHttpApi& api = WinHttp();
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (!api.CrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) ThrowLastError("WinHttpCrackUrl");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  // Path and query lie one after the other in `url`.
  std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
  if (object.empty()) object = L"/";

  UniqueInternet connection(api.Connect(session, host.c_str(), parts.nPort, 0));
  if (!connection) ThrowLastError("WinHttpConnect");
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  UniqueInternet request(api.OpenRequest(connection.get(), method, object.c_str(), version,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!request) ThrowLastError("WinHttpOpenRequest");
  SetDword(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS,
           "WinHttpSetOption(redirects)");
  // Waiting for the answer's headers has its own limit, 90 s unless set.
  SetDword(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, read_ms_,
           "WinHttpSetOption(response time-out)");
  // A proxy that anyone on the network may have named by answering the
  // discovery must not receive the elevated user's network logon.
  if (no_credentials) {
    SetDword(request.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH,
             "WinHttpSetOption(autologon policy)");
  }

  const DWORD length = static_cast<DWORD>(body.size());
  if (!api.SendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                       length ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA, length, length, 0))
    ThrowLastError("WinHttpSendRequest", true);
  if (!api.ReceiveResponse(request.get(), nullptr)) ThrowLastError("WinHttpReceiveResponse");

  const DWORD status = QueryNumber(request.get(), WINHTTP_QUERY_STATUS_CODE, 0);
  if (status >= 400) {
    std::wstring line = QueryText(request.get(), WINHTTP_QUERY_VERSION);
    line += L' ' + std::to_wstring(status);
    const std::wstring reason = QueryText(request.get(), WINHTTP_QUERY_STATUS_TEXT);
    if (!reason.empty()) line += L' ' + reason;
    throw HttpError(base::Utf8FromWide(line));
  }
  return Decode(ReadBody(request.get()), QueryText(request.get(), WINHTTP_QUERY_CONTENT_TYPE));
}

}  // namespace orvek::net
