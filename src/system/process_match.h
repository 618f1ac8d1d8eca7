// The rules by which KillProcessByName picks its victims and addresses them.
// Pure, so the matching is tested natively.
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

// The parameter string handed to "taskkill" for one process:
// 4242 => L" /f /pid 4242" (the leading blank is part of it).
std::wstring TaskkillParameters(std::uint32_t pid);

}  // namespace orvek::system
