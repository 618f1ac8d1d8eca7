// A small HTTP client on WinHTTP for the two service calls. One client makes
// its requests one after the other on the calling thread; the version check
// and each report create their own.
//
// What goes on the wire is only what the services expect: no header of our
// own beyond WinHTTP's defaults and "Content-Length" (no User-Agent, Accept,
// Content-Type or Content-Encoding), redirects not followed, the URL as given.
// Each request goes the way the user's proxy settings choose for its URL
// (proxy_route.h); finding that way counts against the connect time-out, and
// each proxy of a list that is tried has the time-outs anew.
#pragma once

#include <windows.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "net/winhttp_api.h"

namespace orvek::net {

// Any failure of a request: no connection, a time-out, an error status (the
// message is the status line, "HTTP/1.1 500 Internal Server Error"), an
// answer beyond kMaxAnswerBytes, a proxy not resolved in time. A request that
// went through a proxy says so at the end: "..., through proxy 10.0.0.8:3128".
class HttpError : public std::runtime_error {
 public:
  explicit HttpError(const std::string& message, bool unreached = false)
      : std::runtime_error(message), unreached_(unreached) {}
  // Nothing reached the other end (no connection made): the request may go
  // another way without being made twice.
  bool unreached() const { return unreached_; }

 private:
  bool unreached_;
};

// A 32-bit process must not read an answer of any length into memory: the
// services answer a few hundred bytes.
inline constexpr std::size_t kMaxAnswerBytes = 1024 * 1024;

class THttpClient {
 public:
  // Time-outs in milliseconds: `connect_ms` for name resolution and the
  // connection, `read_ms` for each wait for data from the server (and for
  // sending). Throws HttpError when WinHTTP cannot be loaded or set up.
  THttpClient(DWORD connect_ms, DWORD read_ms);

  // GET over HTTP/1.1. Returns the answer body decoded by the charset its
  // Content-Type declares (UTF-8 when none). Throws HttpError.
  std::wstring Get(const std::wstring& url);

  // POST of `body` over HTTP/1.0 with only "Content-Length" added. Returns
  // the answer body as Get does. Throws HttpError.
  std::wstring Post(const std::wstring& url, std::string_view body);

 private:
  std::wstring Send(const wchar_t* method, const std::wstring& url, const wchar_t* version,
                    std::string_view body);
  std::wstring Exchange(HINTERNET session, const wchar_t* method, const std::wstring& url,
                        const wchar_t* version, std::string_view body, bool no_credentials);
  UniqueInternet OpenSession(DWORD access, const std::wstring& proxy, const std::wstring& bypass) const;

  DWORD connect_ms_;
  DWORD read_ms_;
  // With the machine-wide setting.
  UniqueInternet session_;
};

}  // namespace orvek::net
