// Starting a program of the installed client for the signed-in user.
//
// The installer runs elevated (its manifest asks for administrator rights),
// and a program it starts itself inherits that token: the client would run
// with administrator rights, keep its settings where the user's own starts
// do not look, and pass the rights on to whatever it starts. The shell of
// the desktop session runs with the token the user signed in with, and a
// program it starts gets that token. So the program is handed to the
// desktop's shell view (its automation object's ShellExecute runs in the
// shell's process); only when the shell cannot be reached (no shell running,
// a replacement shell, a call that fails) is it started from this process,
// as before.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::system {

enum class StartPath { kDesktopShell, kDirect };

// Opens `program` (a full path) with `parameters` (may be empty) in
// `working_dir`, shown normally, by one of the two paths, and logs which:
//   "started through the desktop shell, <program>"
//   "desktop shell not reached, <reason>, started directly, <program>"
// Whether the program then runs is not looked at, as before. Enters a COM
// apartment on the calling thread when it has none (the UI thread).
// Never throws.
StartPath StartForSignedInUser(HWND owner, const std::wstring& program, const std::wstring& parameters,
                               const std::wstring& working_dir) noexcept;

}  // namespace orvek::system
