// The small decisions of the first page and the install workflow, as pure
// functions over text and numbers, so they are tested natively.
#pragma once

#include <functional>
#include <string>

namespace orvek::app {

// The folders below a chosen folder (and below the program folder) that the
// client installs into.
inline constexpr const wchar_t* kSubPath = L"orvek\\orvekteacher";
inline constexpr std::size_t kSubPathLength = 18;

// Below this many units of 2^30 bytes a drive has too little space.
inline constexpr double kFreeSpaceThreshold = 0.8;

// All trailing backslashes removed: L"D:\\Apps\\orvek\\" => L"D:\\Apps\\orvek",
// L"C:\\" => L"C:".
std::wstring StripTrailingBackslashes(std::wstring path);

// The proposed target directory: the v4.9 location when it names an existing
// directory, else the v5.0 location under the same test, else
// program_files + "\orvek\orvekteacher"; trailing backslashes stripped.
// (L"D:\\gone\\", L"E:\\v50\\", L"C:\\PF") with only E:\v50 existing
// => L"E:\\v50".
std::wstring ChooseTargetDirectory(const std::wstring& v49, const std::wstring& v50,
                                   const std::wstring& program_files,
                                   const std::function<bool(const std::wstring&)>& directory_exists);

// Window height with the options open: width * 460 / 520.0, truncated.
// 520 => 460; 650 (125 % DPI) => 575.
int ExpandHeight(int width);

bool HasTooLittleSpace(double gigabytes);

// "磁盘剩余空间：" + gigabytes rounded to two decimals + "GB", with the user's
// decimal separator and no thousands separator: (1234.567, L',') =>
// L"磁盘剩余空间：1234,57GB".
std::wstring FreeSpaceText(double gigabytes, wchar_t decimal_separator);

// Where the folder browser starts: the target without its last 18
// characters, whatever they are; empty for 18 characters or fewer.
// L"C:\\Program Files (x86)\\orvek\\orvekteacher" => L"C:\\Program Files (x86)\\".
std::wstring FolderBrowserStart(const std::wstring& target);

// The target below a folder chosen in the browser; the sub-path is appended
// every time: L"D:\\" => L"D:\\orvek\\orvekteacher",
// L"D:\\Games" => L"D:\\Games\\orvek\\orvekteacher".
std::wstring TargetBelowFolder(const std::wstring& chosen);

// The install directory the worker uses: the target text trimmed of blanks
// and control characters at both ends, trailing backslashes stripped.
std::wstring InstallDirectory(const std::wstring& text);

// The free-space value of the first page's free-space text: what follows its
// first "：" (U+FF1A), or the whole text without one:
// L"磁盘剩余空间：12.34GB" => L"12.34GB".
std::wstring FreeSpaceValue(const std::wstring& label);

// The install event's extra data, compact JSON (UTF-8) with the members
// "clientPath" (the target text unchanged) and "clientPathAvlspace"
// (FreeSpaceValue of the label), written as the event service's upload
// document is written (net/json_value.h: WriteJson).
std::string InstallExtraData(const std::wstring& target_text, const std::wstring& free_space_label);

// True when the running installer's path asks for the updater to be removed:
// it contains "noupdate", letter case as written (NoUpdate does not count).
bool RequestsUpdaterRemoval(const std::wstring& installer_path);

// The "formsize" log line: L"formsize520,325, " + client id.
std::wstring FormSizeLine(int width, int height, const std::wstring& client_id);

}  // namespace orvek::app
