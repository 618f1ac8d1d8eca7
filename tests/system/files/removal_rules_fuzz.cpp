// Locations from registry values and the final paths of opened folders, two
// lines of UTF-8 and a link flag. Accepted locations are never a link, never
// a drive or share root, and hold "orvek"; the helpers' parts are pieces of
// their input.
#include <cstdint>
#include <string>

#include "base/unicode.h"
#include "system/files/removal_rules.h"

using namespace orvek::system;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::wstring text = orvek::base::WideFromUtf8(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::size_t line_end = std::min(text.find(L'\n'), text.size());
  const std::wstring full = text.substr(0, line_end);
  const std::wstring final_path = OrdinaryFromFinalPath(text.substr(std::min(line_end + 1, text.size())));
  const bool is_link = data[0] & 1;

  if (DirectoryPart(full) != full.substr(0, DirectoryPart(full).size())) __builtin_trap();
  const std::wstring cut = CutAtDriveLetter(full);
  if (cut.size() > full.size() || full.compare(full.size() - cut.size(), cut.size(), cut) != 0) __builtin_trap();
  if (full.compare(0, DrivePart(full).size(), DrivePart(full)) != 0) __builtin_trap();
  if (!final_path.empty() && !IsDriveAbsolute(final_path) && !IsAbsoluteLocation(final_path) && final_path.size() != 2)
    __builtin_trap();
  if (RemovalRefusal(full, final_path, is_link).empty() &&
      (is_link || IsRootLocation(full) || IsRootLocation(final_path) ||
       (full + final_path).find(L"orvek") == std::wstring::npos))
    __builtin_trap();
  return 0;
}
