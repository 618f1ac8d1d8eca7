// Which item paths from the archive may be written below the installation
// directory. Pure: no platform headers.
//
// The archive names its items itself, and the installer runs elevated; an
// item called "..\..\Windows\System32\x.dll" or "C:\x" must never be joined
// onto the target directory. Only plain relative paths pass.
#pragma once

#include <string>
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
//
// Also refused: characters Windows forbids in names (control characters and
// * ? " < > |), and the library's stand-ins for them. The library hands such a
// character of a stored name over as U+F000 plus its code (a backslash inside
// a name as U+F05C), so "..\evil.txt" stored as one name arrives as ".."
// U+F05C "evil.txt" and would otherwise install a file of that strange name
// while the installation reports success.
bool IsSafeItemPath(std::wstring_view item_path) noexcept;

// `item_path` for the log: each stand-in of the library shown as the
// character it stands for, other unprintable characters as "?".
//   L"..\uF05Cevil.txt" => L"..\\evil.txt"
std::wstring ReadableItemPath(std::wstring_view item_path);

}  // namespace orvek::payload
