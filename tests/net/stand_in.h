// The stand-in services as the Windows tests see them: URLs that choose the
// answer and tag the request, and the record of what arrived.
#pragma once

#include <string>
#include <vector>

#include "net/json_value.h"

namespace orvek::test {

// The base URL of the stand-in (the twin's own constant) with the answer
// `verdict` and a `tag` that marks these requests in the record:
// ("status0", "t1") => L"http://127.0.0.1:18391/verdict/status0/tag/t1".
std::wstring StandInUrl(const std::string& verdict, const std::string& tag);

// A loopback URL whose connection is refused, and one whose connection
// attempt is never answered.
std::wstring RefusingUrl();
std::wstring SilentUrl();

// Every recorded request whose path carries `tag`, oldest first.
std::vector<net::Json> RecordedRequests(const std::string& tag);

// The value of the first header `name` (any case) of a recorded request, or
// nullptr when it has none.
const net::Json* RecordedHeader(const net::Json& request, const std::string& name);

// Milliseconds since some fixed moment, for time limits.
long long NowMs();

// How many lines of `log` contain `text`.
int CountLines(const std::string& log, const std::string& text);

}  // namespace orvek::test
