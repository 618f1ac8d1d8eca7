// Starting a program of the installed client for the signed-in user.
//
// The installer runs elevated (its manifest asks for administrator rights),
// or as LocalSystem under a management tool, and a program it starts itself
// inherits that token: the client would run with administrator or system
// rights, keep its settings where the user's own starts do not look, and pass
// the rights on to whatever it starts. So it never starts one itself:
// - As LocalSystem it asks for the token of the user signed in at the
//   console and starts the program in that session as that user, with the
//   user's own environment.
// - Otherwise the program is handed to the desktop's shell view (its
//   automation object's ShellExecute runs in the shell's process, with the
//   token the user signed in with).
// Where neither is possible (nobody at the console, no shell running, a
// replacement shell, a call that fails) the program is not started at all.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::system {

enum class StartPath { kDesktopShell, kConsoleUser, kNotStarted };

// Opens `program` (a full path) with `parameters` (may be empty) in
// `working_dir`, shown normally, by the path its account allows, and logs
// how it went in one line:
//   "started through the desktop shell, <program>"
//   "started as the user of console session <n>, <program>"
//   "desktop shell not reached, <reason>, not started, <program>"
//   "no token of the console's user, <reason>, not started, <program>"
// Whether the program then runs is not looked at, as before. Enters a COM
// apartment on the calling thread when it has none (the UI thread).
// Never throws.
//
// Wine's desktop always has its shell, so builds with test seams
// (ORVEK_TEST_SEAMS) act as if none were running while the environment
// variable ORVEK_TEST_NO_DESKTOP_SHELL is "1".
StartPath StartForSignedInUser(const std::wstring& program, const std::wstring& parameters,
                               const std::wstring& working_dir) noexcept;

}  // namespace orvek::system
