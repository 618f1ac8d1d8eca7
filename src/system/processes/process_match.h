// The rules by which KillProcessByName picks its victims and addresses them,
// and by which a program of the installation is recognised in another
// session. Pure, so the matching is tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::system {

// True when `image` (a process's image name from a snapshot, bare or with a
// path) names `wanted`: either its file-name part (after the last '\' or
// ':') or the whole text, compared without regard to the case of ASCII
// letters (base::SameText): the same whatever the user's locale, and letters
// outside ASCII never fold.
//   (L"C:\\App\\OrvekClient.EXE", L"orvekclient.exe") => true
//   (L"C:orvekclient.exe",        L"orvekclient.exe") => true
//   (L"C:\\App\\orvekclient.exe", L"c:\\app\\orvekclient.exe") => true
//   (L"orvekclient.exe.bak",      L"orvekclient.exe") => false
bool ImageNameMatches(std::wstring_view image, std::wstring_view wanted);

// Whether `image`, a program's full path as the system reports it, lies in
// `folder` (an installation folder) or below it. Both are compared as
// written apart from these forms: either separator and runs of them, final
// separators, the long-path prefix \\?\ (and \\?\UNC\), and the case of
// ASCII letters (the caller has already resolved "." and ".." and short
// names). A folder that
// is not absolute or is a drive or share root holds no installation: it
// matches nothing, or every program of a drive would count as the client.
//   (L"C:\\Orvek\\client\\orvekclient.exe", L"c:\\orvek\\client\\") => true
//   (L"\\\\?\\C:\\Orvek\\client\\lib\\x.exe", L"C:/Orvek//client") => true
//   (L"C:\\Orvek\\client2\\a.exe", L"C:\\Orvek\\client")        => false
//   (L"C:\\a.exe", L"C:\\"), (L"x\\a.exe", L"x"), (any, L"")     => false
bool ImageInFolder(std::wstring_view image, std::wstring_view folder);

// The parameter string handed to "taskkill" for one process:
// 4242 => L" /f /pid 4242" (the leading blank is part of it).
std::wstring TaskkillParameters(std::uint32_t pid);

}  // namespace orvek::system
