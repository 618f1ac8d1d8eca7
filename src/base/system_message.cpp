#include "base/system_message.h"

#include <windows.h>

#include "base/hex.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/unique_handle.h"

namespace orvek::base {

std::wstring SystemMessage(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const UniqueLocalMemory owner(buffer);
  std::wstring text;
  if (length > 0 && buffer != nullptr) text = Trim(std::wstring_view(buffer, length));
  if (!text.empty()) return text;
  // Failed HRESULTs read best the way headers and documentation write them.
  if ((code & 0x80000000u) != 0) return L"System error 0x" + WideFromUtf8(Hex(code, 8));
  return L"System error " + std::to_wstring(code);
}

std::string SystemMessageUtf8(std::uint32_t code) { return Utf8FromWide(SystemMessage(code)); }

}  // namespace orvek::base
