#include "net/proxy_route.h"

#include <winhttp.h>
#include <process.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "net/http_client.h"
#include "net/proxy_rules.h"
#include "net/winhttp_api.h"
#include "system/processes/local_system.h"
#include "system/test_seams.h"

namespace orvek::net {
namespace {

// Takes over a string WinHTTP allocated for the caller.
std::wstring TakeText(LPWSTR text) {
  const base::UniqueGlobalMemory owner(text);
  return text ? std::wstring(text) : std::wstring();
}

struct UserSettings {
  bool auto_detect = false;
  std::wstring script_url, proxy, bypass;
};

bool ReadUserSettings(UserSettings& settings) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttp().GetIEProxyConfigForCurrentUser(&config)) return false;
  settings.auto_detect = config.fAutoDetect != FALSE;
  settings.script_url = TakeText(config.lpszAutoConfigUrl);
  settings.proxy = TakeText(config.lpszProxy);
  settings.bypass = TakeText(config.lpszProxyBypass);
  return true;
}

// Two things Wine cannot be made to do for a test:
//  - its discovery asks for http://wpad.<the machine's domain>/wpad.dat on
//    port 80, which a test cannot answer without changing the machine's name
//    service: ORVEK_TEST_DISCOVERED_SCRIPT names the script the discovery
//    finds instead;
//  - it keeps only the first proxy of a script's answer (measured: "PROXY a;
//    PROXY b" gives "a"), where Windows gives the list:
//    ORVEK_TEST_SCRIPT_PROXIES names the list a script's answer gives.
// Fetching and running the script, and the requests through the proxies,
// stay real.
std::wstring Seam(const wchar_t* name) { return orvek::system::TestSeamValue(name); }

// One resolution, shared by the call that waits for it and the thread that
// does it: whichever lets go last frees it, so a call that gave up leaves
// the thread nothing dangling.
struct Resolution {
  std::wstring url;
  UserSettings settings;
  std::wstring discovered_script = Seam(L"ORVEK_TEST_DISCOVERED_SCRIPT");
  std::wstring script_proxies = Seam(L"ORVEK_TEST_SCRIPT_PROXIES");
  DWORD connect_ms = 0, read_ms = 0;

  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool resolved = false;  // a script was found and gave an answer
  bool discovered = false;
  DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
  std::wstring proxy, bypass;
};

// Resolutions that have not ended, including those their call gave up on. A
// 32-bit process must not gather threads stuck in a network that never
// answers; a call beyond the bound fails as one that timed out.
std::atomic<int> g_pending{0};
constexpr int kMaxPendingResolutions = 4;

bool GetProxyForUrl(HINTERNET session, const Resolution& r, WINHTTP_AUTOPROXY_OPTIONS& options,
                    WINHTTP_PROXY_INFO& info) {
  return WinHttp().GetProxyForUrl(session, r.url.c_str(), &options, &info) != FALSE;
}

// The thread's work: detection first, as the browser does, then the set
// script. Only a script at an address the user set may ask for the user's
// credentials; one that discovery found is anyone's on the network.
void Resolve(Resolution& r) {
  bool resolved = false, discovered = false;
  WINHTTP_PROXY_INFO info{};
  const WinHttpApi& api = WinHttp();
  const UniqueInternet session(
      api.Open(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session && api.SetTimeouts(session.get(), static_cast<int>(r.connect_ms), static_cast<int>(r.connect_ms),
                                 static_cast<int>(r.read_ms), static_cast<int>(r.read_ms))) {
    if (r.settings.auto_detect) {
      WINHTTP_AUTOPROXY_OPTIONS options{};
      if (r.discovered_script.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
      } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = r.discovered_script.c_str();
      }
      options.fAutoLogonIfChallenged = FALSE;
      discovered = resolved = GetProxyForUrl(session.get(), r, options, info);
    }
    if (!resolved && !r.settings.script_url.empty()) {
      WINHTTP_AUTOPROXY_OPTIONS options{};
      options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = r.settings.script_url.c_str();
      // An intranet server the user named that asks who is there gets the
      // user's own credentials, as the browser gives them.
      options.fAutoLogonIfChallenged = TRUE;
      resolved = GetProxyForUrl(session.get(), r, options, info);
    }
  }
  std::wstring proxy = TakeText(info.lpszProxy);
  std::wstring bypass = TakeText(info.lpszProxyBypass);
  if (resolved && info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !r.script_proxies.empty()) {
    proxy = r.script_proxies;
  }
  const std::lock_guard<std::mutex> guard(r.lock);
  r.resolved = resolved;
  r.discovered = discovered;
  r.access = info.dwAccessType;
  r.proxy = std::move(proxy);
  r.bypass = std::move(bypass);
  r.done = true;
  r.finished.notify_all();
}

unsigned __stdcall ResolveEntry(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Resolution>> owned(static_cast<std::shared_ptr<Resolution>*>(parameter));
  Resolution& r = **owned;
  try {
    Resolve(r);
  } catch (...) {
    const std::lock_guard<std::mutex> guard(r.lock);
    r.done = true;
    r.finished.notify_all();
  }
  --g_pending;
  return 0;
}

// What the scripts name on a route.
std::string ScriptsText(const UserSettings& settings) {
  std::string text = settings.auto_detect ? "automatic detection" : "";
  if (!settings.script_url.empty()) {
    text += (text.empty() ? "" : ", then ") + std::string("configuration script ") +
            base::Utf8FromWide(settings.script_url);
  }
  return text;
}

// Runs the resolution on a thread of its own and waits at most `connect_ms`.
// False when no script was found or none answered.
bool ResolveInTime(const std::shared_ptr<Resolution>& resolution) {
  const std::string scripts = ScriptsText(resolution->settings);
  if (++g_pending > kMaxPendingResolutions) {
    --g_pending;
    throw HttpError("proxy resolution failed, earlier ones still running, " + scripts);
  }
  auto* handed = new std::shared_ptr<Resolution>(resolution);
  const base::UniqueHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, ResolveEntry, handed, 0, nullptr)));
  if (!thread) {
    delete handed;
    --g_pending;
    throw HttpError("proxy resolution failed, no thread");
  }
  std::unique_lock<std::mutex> guard(resolution->lock);
  if (!resolution->finished.wait_for(guard, std::chrono::milliseconds(resolution->connect_ms),
                                     [&] { return resolution->done; })) {
    throw HttpError("proxy resolution failed, not done within " + std::to_string(resolution->connect_ms) +
                    " ms (timed out), " + scripts);
  }
  return resolution->resolved;
}

ProxyRoute HopsRoute(const std::wstring& list, const std::wstring& bypass, const std::wstring& scheme,
                     bool discovered) {
  return {ProxyRoute::Kind::kHops, ProxyHops(list, scheme), bypass, discovered};
}

}  // namespace

ProxyRoute ChooseProxyRoute(const std::wstring& url, DWORD connect_ms, DWORD read_ms) {
  if (system::RunsAsLocalSystem()) return {};
  auto resolution = std::make_shared<Resolution>();
  UserSettings& settings = resolution->settings;
  if (!ReadUserSettings(settings)) return {};
  const std::size_t colon = url.find(L"://");
  const std::wstring scheme = colon == std::wstring::npos ? L"http" : url.substr(0, colon);
  if (settings.auto_detect || !settings.script_url.empty()) {
    resolution->url = url;
    resolution->connect_ms = connect_ms;
    resolution->read_ms = read_ms;
    if (ResolveInTime(resolution)) {
      const std::lock_guard<std::mutex> guard(resolution->lock);
      if (resolution->access != WINHTTP_ACCESS_TYPE_NAMED_PROXY) return HopsRoute(L"", L"", scheme, false);
      return HopsRoute(resolution->proxy, resolution->bypass, scheme, resolution->discovered);
    }
  }
  if (!settings.proxy.empty()) return HopsRoute(settings.proxy, settings.bypass, scheme, false);
  return {};
}

}  // namespace orvek::net
