#include "system/identity/machine_identity_rules.h"

#include "base/hex.h"
#include "base/text.h"
#include "base/unicode.h"
#include "system/identity/sha1.h"

namespace orvek::system {
std::wstring CleanValue(std::wstring_view value) {
  if (value.empty()) return L"unknown";
  std::wstring out(value);
  for (wchar_t& c : out) {
    if (c == L',') c = L' ';
  }
  return out;
}

std::wstring CleanWmiValue(std::wstring_view raw) {
  return CleanValue(base::Trim(raw));
}

std::wstring WmiQueryText(std::wstring_view wmi_property, std::wstring_view wmi_type,
                          std::wstring_view condition) {
  std::wstring query = L"select ";
  query += wmi_property;
  query += L" from ";
  query += wmi_type;
  query += L' ';
  query += condition;
  return query;
}

std::wstring JoinMonitorIds(const std::vector<std::wstring>& ids) {
  if (ids.empty()) return L"unknown";
  std::wstring out = ids.front();
  for (std::size_t i = 1; i < ids.size(); ++i) out += L',' + ids[i];
  return out;
}

std::wstring RegisterSumHex(std::uint32_t eax, std::uint32_t ebx, std::uint32_t ecx,
                            std::uint32_t edx) {
  const std::uint32_t sum = eax + ebx + ecx + edx;
  return base::WideFromUtf8(base::Hex(sum, 8));
}

std::wstring JoinAdapterAddresses(const std::vector<AdapterAddress>& addresses) {
  std::wstring out;
  for (const AdapterAddress& address : addresses) {
    if (&address != &addresses.front()) out += L';';
    out += base::WideFromUtf8(base::HexBytes(address));
  }
  return out;
}

std::wstring ClientIdFromParts(std::wstring_view serial, std::wstring_view cpu,
                               std::wstring_view macs) {
  std::string bytes;
  for (const std::wstring_view part : {serial, cpu, macs}) {
    for (const wchar_t c : part) bytes += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return Sha1Hex(bytes);
}

}  // namespace orvek::system
