// Which item paths from the archive may be written below the installation
// directory. Pure: no platform headers.
//
// The archive names its items itself, and the installer runs elevated; an
// item called "..\..\Windows\System32\x.dll" or "C:\x" must never be joined
// onto the target directory. Only plain relative paths pass.
#pragma once

#include <string_view>

namespace orvek::payload {

// True when `item_path` (as the library reports it, '\' or '/' separated)
// stays below the directory it is joined to: not empty; no leading separator
// (absolute or UNC, "\\server\share"); no drive or stream colon anywhere
// ("C:x", "a.txt:evil"); no "." or ".." component; no empty component; no
// component ending in a dot or space (Windows strips those, so "..." or
// ".. " would become ".." on disk). For example "bin\app.exe" and
// "中文\说明.txt" pass, "..\evil.txt", "a\..\..\b", "C:\abs.txt",
// "\\srv\s\x" and "a:b" do not.
bool IsSafeItemPath(std::wstring_view item_path) noexcept;

}  // namespace orvek::payload
