#include "net/winhttp_api.h"

#include <string>

#include "base/bound_function.h"
#include "base/os_error.h"
#include "system/system_library.h"

namespace orvek::net {
namespace {

// Never unloaded: the module handle is dropped on purpose.
HMODULE LoadOnce(const wchar_t* dll, const char* what) {
  const HMODULE module = system::LoadSystemLibrary(dll);
  if (module == nullptr) throw base::OsError(std::string("LoadLibrary ") + what, ::GetLastError());
  return module;
}

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = base::BindFunction<Fn>(module, name);
  if (fn == nullptr) throw base::OsError(std::string("GetProcAddress ") + name, ::GetLastError());
}

WinHttpApi LoadWinHttp() {
  const HMODULE m = LoadOnce(L"winhttp.dll", "winhttp.dll");
  WinHttpApi api{};
  Bind(m, "WinHttpOpen", api.Open);
  Bind(m, "WinHttpConnect", api.Connect);
  Bind(m, "WinHttpOpenRequest", api.OpenRequest);
  Bind(m, "WinHttpSetTimeouts", api.SetTimeouts);
  Bind(m, "WinHttpSetOption", api.SetOption);
  Bind(m, "WinHttpSendRequest", api.SendRequest);
  Bind(m, "WinHttpReceiveResponse", api.ReceiveResponse);
  Bind(m, "WinHttpQueryHeaders", api.QueryHeaders);
  Bind(m, "WinHttpReadData", api.ReadData);
  Bind(m, "WinHttpCrackUrl", api.CrackUrl);
  Bind(m, "WinHttpCloseHandle", api.CloseHandle);
  return api;
}

BcryptApi LoadBcrypt() {
  const HMODULE m = LoadOnce(L"bcrypt.dll", "bcrypt.dll");
  BcryptApi api{};
  Bind(m, "BCryptOpenAlgorithmProvider", api.OpenAlgorithmProvider);
  Bind(m, "BCryptCloseAlgorithmProvider", api.CloseAlgorithmProvider);
  Bind(m, "BCryptCreateHash", api.CreateHash);
  Bind(m, "BCryptHashData", api.HashData);
  Bind(m, "BCryptFinishHash", api.FinishHash);
  Bind(m, "BCryptDestroyHash", api.DestroyHash);
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
