// Path and attribute rules for finding and removing earlier installations.
// Pure: no platform headers, unit-tested natively.
//
// The locations come from registry values and an environment variable that
// any program of the user can change, while the installer deletes with
// administrator rights. So the rules that decide what may be deleted live
// here, each with the shapes it refuses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::system {

// The directory part of a registry value: the text up to and including its
// last backslash or colon, or empty when it has neither.
//   L"C:\\a\\uninstall.exe"          => L"C:\\a\\"
//   L"\"C:\\a\\unins.exe\" /S"       => L"\"C:\\a\\"
//   L"D:uninstall.exe"               => L"D:"
//   L"uninstall.exe"                 => L""
std::wstring DirectoryPart(std::wstring_view value);

// Cuts a location at its drive letter: with the first colon at 1-based
// position p >= 3, the first p - 2 characters go, so the text begins with
// the character before the colon. No colon, or one at position 1 or 2: as is.
//   L"\"C:\\a\\"  => L"C:\\a\\"      L"C:\\a\\" => L"C:\\a\\"
//   L"xyC:\\a\\"  => L"C:\\a\\"      L":a\\"    => L":a\\"
std::wstring CutAtDriveLetter(std::wstring_view location);

// Whether a found entry is a directory the removal walk enters: its whole
// attribute word is one of a fixed list of plain directory combinations
// (0x10-0x1F, 0x30-0x32, compressed, not-indexed and encrypted variants, and
// 0x12F7A8), and the name is neither "." nor "..". A link (0x400) or any
// other combination is not: the walk hands it to the file action instead.
bool IsDirectoryEntry(std::uint32_t attributes, std::wstring_view name) noexcept;

// The drive of a path: letter and colon (L"D:\\x" => L"D:"), or server and
// share of a network path (L"\\\\srv\\share\\x" => L"\\\\srv\\share");
// empty for anything else (a relative path, L"\\x", L"\\\\srv").
std::wstring DrivePart(std::wstring_view path);

// The ordinary form of a final path as the system reports it for an open
// handle: L"\\\\?\\C:\\a" => L"C:\\a", L"\\\\?\\UNC\\srv\\s\\a" =>
// L"\\\\srv\\s\\a". Empty for any other shape (a volume GUID path of a
// volume without a letter), which the removal guard refuses.
std::wstring OrdinaryFromFinalPath(std::wstring_view final_path);

// A drive-absolute path: L"C:\\..." (either separator). Network, device,
// drive-relative (L"C:orvek") and relative paths are not.
bool IsDriveAbsolute(std::wstring_view path) noexcept;

// A drive-absolute (L"C:\\...") or network (L"\\\\srv\\share...") path.
// Relative (L"orvek\\"), drive-relative (L"C:orvek", L"\\orvek") and device
// paths (L"\\\\.\\", L"\\\\?\\") are not.
bool IsAbsoluteLocation(std::wstring_view path) noexcept;

// A drive or share root, final backslashes ignored: L"C:", L"C:\\",
// L"\\\\srv\\share\\", L"\\\\srv". L"C:\\orvek" is not.
bool IsRootLocation(std::wstring_view path) noexcept;

// The refusal text when the "orvek" test fails; the log line for it is the
// historic one, so callers recognise it.
inline constexpr std::wstring_view kRefusalNoOrvek = L"the path does not contain orvek";

// The path a location is judged and recorded by: `full_path` (final
// separators dropped) when `final_path` names the same directory in another
// letter case only (no link was crossed), so the location is taken as it
// was written; else `final_path`. An upgrade keeps this path in its journal,
// so what the guard accepted before a change is what is undone after it.
//   (L"c:\\a\\orvek\\", L"C:\\A\\Orvek")  => L"c:\\a\\orvek"
//   (L"C:\\j\\sub", L"C:\\data\\orvek\\sub") => L"C:\\data\\orvek\\sub"
std::wstring JudgedPath(std::wstring_view full_path, std::wstring_view final_path);

// Why a directory may not be emptied, or empty when it may. `full_path` is
// the location made absolute with "." and ".." resolved; `final_path` the
// ordinary form of the path the system reports for the opened directory,
// after every link along it (empty when unknown); `is_link` whether the
// location itself is a reparse point. Refused: a location that is a link
// (the walk would enter its target), a drive or share root (full or final),
// and a JudgedPath without "orvek" in that letter case in the folders below
// its drive or share (a server or share named so does not count).
std::wstring RemovalRefusal(std::wstring_view full_path, std::wstring_view final_path,
                            bool is_link);

// A network path: two separators, then a server (L"\\\\srv\\s\\x").
bool IsOnShare(std::wstring_view path) noexcept;

inline constexpr std::wstring_view kRefusalOnShare = L"the location is on a share";

// RemovalRefusal for the folder of an earlier installation, which is never
// on a share: a full or final path on one (a mapped drive reports its share)
// is refused as kRefusalOnShare.
std::wstring EarlierInstallationRefusal(std::wstring_view full_path, std::wstring_view final_path,
                                        bool is_link);

}  // namespace orvek::system
