#include "net/winhttp_api.h"

#include <string>

#include "base/bound_function.h"
#include "base/os_error.h"
#include "base/system_library.h"

namespace orvek::net {
namespace {

// Never unloaded: the module handle is dropped on purpose.
HMODULE LoadOnce(const wchar_t* dll, const char* what) {
  const HMODULE module = base::LoadSystemLibrary(dll);
  if (module == nullptr) throw base::OsError(std::string("LoadLibrary ") + what, ::GetLastError());
  return module;
}

WinHttpApi LoadWinHttp() {
  const HMODULE m = LoadOnce(L"winhttp.dll", "winhttp.dll");
  WinHttpApi api{};
  base::BindRequiredFunction(m, "WinHttpOpen", api.Open);
  base::BindRequiredFunction(m, "WinHttpConnect", api.Connect);
  base::BindRequiredFunction(m, "WinHttpOpenRequest", api.OpenRequest);
  base::BindRequiredFunction(m, "WinHttpSetTimeouts", api.SetTimeouts);
  base::BindRequiredFunction(m, "WinHttpSetOption", api.SetOption);
  base::BindRequiredFunction(m, "WinHttpSendRequest", api.SendRequest);
  base::BindRequiredFunction(m, "WinHttpReceiveResponse", api.ReceiveResponse);
  base::BindRequiredFunction(m, "WinHttpQueryHeaders", api.QueryHeaders);
  base::BindRequiredFunction(m, "WinHttpReadData", api.ReadData);
  base::BindRequiredFunction(m, "WinHttpCrackUrl", api.CrackUrl);
  base::BindRequiredFunction(m, "WinHttpCloseHandle", api.CloseHandle);
  base::BindRequiredFunction(m, "WinHttpGetIEProxyConfigForCurrentUser", api.GetIEProxyConfigForCurrentUser);
  base::BindRequiredFunction(m, "WinHttpGetProxyForUrl", api.GetProxyForUrl);
  return api;
}

BcryptApi LoadBcrypt() {
  const HMODULE m = LoadOnce(L"bcrypt.dll", "bcrypt.dll");
  BcryptApi api{};
  base::BindRequiredFunction(m, "BCryptOpenAlgorithmProvider", api.OpenAlgorithmProvider);
  base::BindRequiredFunction(m, "BCryptCloseAlgorithmProvider", api.CloseAlgorithmProvider);
  base::BindRequiredFunction(m, "BCryptCreateHash", api.CreateHash);
  base::BindRequiredFunction(m, "BCryptHashData", api.HashData);
  base::BindRequiredFunction(m, "BCryptFinishHash", api.FinishHash);
  base::BindRequiredFunction(m, "BCryptDestroyHash", api.DestroyHash);
  return api;
}

}  // namespace

// Trivially destructible tables: nothing is torn down at exit under a thread
// that is still using them.
const WinHttpApi& WinHttp() {
  static const WinHttpApi api = LoadWinHttp();
  return api;
}

const BcryptApi& Bcrypt() {
  static const BcryptApi api = LoadBcrypt();
  return api;
}

namespace detail {
// A handle exists only after its table was loaded, so these never load.
void CloseInternet(HINTERNET handle) noexcept { WinHttp().CloseHandle(handle); }
void CloseAlgorithm(BCRYPT_ALG_HANDLE handle) noexcept { Bcrypt().CloseAlgorithmProvider(handle, 0); }
void DestroyHash(BCRYPT_HASH_HANDLE handle) noexcept { Bcrypt().DestroyHash(handle); }
}  // namespace detail

}  // namespace orvek::net
