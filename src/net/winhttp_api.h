// WinHTTP and CNG, bound at run time from the system folder.
//
// Neither winhttp.dll nor bcrypt.dll is a Known DLL on Windows 7, so a static
// import would let a copy planted beside the installer be loaded. Each is
// loaded once, at first use, through LoadSystemLibrary and stays loaded until
// the process ends: report threads may outlive the window and still hold
// handles of it.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include "base/unique_handle.h"

namespace orvek::net {

struct WinHttpApi {
  decltype(&::WinHttpOpen) Open;
  decltype(&::WinHttpConnect) Connect;
  decltype(&::WinHttpOpenRequest) OpenRequest;
  decltype(&::WinHttpSetTimeouts) SetTimeouts;
  decltype(&::WinHttpSetOption) SetOption;
  decltype(&::WinHttpSendRequest) SendRequest;
  decltype(&::WinHttpReceiveResponse) ReceiveResponse;
  decltype(&::WinHttpQueryHeaders) QueryHeaders;
  decltype(&::WinHttpReadData) ReadData;
  decltype(&::WinHttpCrackUrl) CrackUrl;
  decltype(&::WinHttpCloseHandle) CloseHandle;
  decltype(&::WinHttpGetIEProxyConfigForCurrentUser) GetIEProxyConfigForCurrentUser;
  decltype(&::WinHttpGetProxyForUrl) GetProxyForUrl;
};

struct BcryptApi {
  decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider;
  decltype(&::BCryptCloseAlgorithmProvider) CloseAlgorithmProvider;
  decltype(&::BCryptCreateHash) CreateHash;
  decltype(&::BCryptHashData) HashData;
  decltype(&::BCryptFinishHash) FinishHash;
  decltype(&::BCryptDestroyHash) DestroyHash;
};

// The bound functions. Any thread may call these; the first call loads the
// DLL. Throw base::OsError when the DLL or one of its functions is missing
// (a later call tries again).
const WinHttpApi& WinHttp();
const BcryptApi& Bcrypt();

namespace detail {
void CloseInternet(HINTERNET handle) noexcept;
void CloseAlgorithm(BCRYPT_ALG_HANDLE handle) noexcept;
void DestroyHash(BCRYPT_HASH_HANDLE handle) noexcept;
}  // namespace detail

// Session, connection and request handles of WinHTTP.
using UniqueInternet = base::UniqueAny<HINTERNET, detail::CloseInternet, HINTERNET(nullptr)>;
using UniqueAlgorithm =
    base::UniqueAny<BCRYPT_ALG_HANDLE, detail::CloseAlgorithm, BCRYPT_ALG_HANDLE(nullptr)>;
using UniqueHash = base::UniqueAny<BCRYPT_HASH_HANDLE, detail::DestroyHash, BCRYPT_HASH_HANDLE(nullptr)>;

}  // namespace orvek::net
