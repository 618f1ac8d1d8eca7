#include "system/identity/adapter_addresses.h"

#include <windows.h>
#include <nb30.h>

#include <algorithm>
#include <vector>

#include "base/bound_function.h"
#include "base/system_library.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/identity/machine_identity_rules.h"

namespace orvek::system {
namespace {

using NetbiosFunction = UCHAR(APIENTRY*)(PNCB);

static_assert(sizeof(ADAPTER_STATUS) == 60, "the adapter status without its name table");

// netapi32 is not a Known DLL, so it is loaded by full path, once, and stays
// loaded for the rest of the run. nullptr (logged) when that fails.
NetbiosFunction Netbios() {
  static const NetbiosFunction function = []() -> NetbiosFunction {
    static base::UniqueModule module(base::LoadSystemLibrary(L"netapi32.dll"));
    if (!module) {
      log::LogErrorFmt(L"load netapi32.dll failed, %d", ::GetLastError());
      return nullptr;
    }
    const auto found = base::BindFunction<NetbiosFunction>(module.get(), "Netbios");
    if (found == nullptr) log::LogErrorFmt(L"Netbios not found, %d", ::GetLastError());
    return found;
  }();
  return function;
}

}  // namespace

std::wstring GetMacAddresses() {
  const NetbiosFunction netbios = Netbios();
  if (netbios == nullptr) return std::wstring();

  LANA_ENUM lanas{};
  NCB enumerate{};
  enumerate.ncb_command = NCBENUM;
  enumerate.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
  enumerate.ncb_length = sizeof lanas;
  netbios(&enumerate);

  std::vector<AdapterAddress> addresses;
  const int count = std::min<int>(lanas.length, MAX_LANA + 1);
  for (int i = 0; i < count; ++i) {
    NCB reset{};
    reset.ncb_command = NCBRESET;
    reset.ncb_lana_num = lanas.lana[i];
    netbios(&reset);

    // A fresh buffer per adapter: a failed query must not repeat the
    // previous adapter's address.
    ADAPTER_STATUS status{};
    NCB query{};
    query.ncb_command = NCBASTAT;
    query.ncb_lana_num = lanas.lana[i];
    query.ncb_callname[0] = '*';
    query.ncb_buffer = reinterpret_cast<PUCHAR>(&status);
    query.ncb_length = sizeof status;
    // The 60-byte buffer has no room for the adapter's name table, so a
    // query that filled it in reports "incomplete" as often as success.
    const UCHAR result = netbios(&query);
    if (result != NRC_GOODRET && result != NRC_INCOMP) continue;
    AdapterAddress address{};
    std::copy_n(status.adapter_address, address.size(), address.begin());
    addresses.push_back(address);
  }
  return JoinAdapterAddresses(addresses);
}

}  // namespace orvek::system
