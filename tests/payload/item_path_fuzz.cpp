// An item name from the archive (UTF-8 here). One that passes, joined to the
// target and resolved as Windows may resolve it (trailing dots and blanks
// dropped from each name, "." staying, ".." or any longer run of dots going
// up), names something below the target; its log form keeps its length and
// shows no control character.
#include <algorithm>
#include <cstdint>
#include <string>

#include "base/unicode.h"
#include "payload/path_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring name = orvek::base::WideFromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::wstring shown = orvek::payload::ReadableItemPath(name);
  if (shown.size() != name.size() || std::any_of(shown.begin(), shown.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }))
    __builtin_trap();
  if (!orvek::payload::IsSafeItemPath(name)) return 0;
  int depth = 0;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find_first_of(L"\\/", start), name.size());
    const std::wstring part = name.substr(start, end - start);
    const std::size_t kept = part.find_last_not_of(L". ") + 1;  // 0 when only dots and blanks
    if (kept == 0 && std::count(part.begin(), part.end(), L'.') > 1) --depth;
    else if (kept != 0) ++depth;
    if (depth < 0 || part.substr(0, kept).find(L':') != std::wstring::npos) __builtin_trap();
    start = end + 1;
  }
  if (depth < 1) __builtin_trap();
  return 0;
}
