// The switches of an unattended installation, as deployment tools pass them.
// Pure: parsed from the raw command line, natively tested.
//
//   /S, /SILENT, /VERYSILENT   install without any window or message box
//   /PLAN                      dry run: log what an installation would do
//   /D=<dir>                   target directory; the last argument, it takes
//                              the rest of the command line, blanks included
//   /DIR=<dir>, /DIR="<dir>"   target directory anywhere on the line
//   /NODESKTOP, /NOSTARTMENU   leave out the desktop shortcut, the start menu
//   /CLEARUSERDATA             delete the client's user data
//   /ALLUSERS                  install for all users of the machine (what a
//                              silent run does anyway, unless /CURRENTUSER)
//   /CURRENTUSER               install for the signed-in user only; refused
//                              together with /ALLUSERS
//   /LOG=<file>                also write the run's log records to <file>
//   /?, /HELP                  show the switches and the exit codes, change
//                              nothing (with /S or /PLAN: show nothing either)
//   /NORESTART, /SUPPRESSMSGBOXES
//                              accepted and ignored: deployment tools add them
//                              by habit, and this installer never restarts the
//                              PC nor shows a box in a silent run
//
// Switch names ignore ASCII letter case and take "/" or "-" in front. The
// argument "dpi" (no prefix) is the window's own switch and stays valid.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvek::app {

struct SetupSwitches {
  bool silent = false;
  bool plan = false;
  bool help = false;
  // The target exactly as given (no sub-path appended); empty: the default
  // the first page would choose.
  std::wstring target;
  // The first page's options with its defaults.
  bool add_desktop = true;
  bool add_start_menu = true;
  bool clear_user_data = false;
  bool all_users = false;
  bool current_user = false;
  std::wstring log_file;  // empty: no extra log file
  // Empty when the command line is good; otherwise what is wrong with it,
  // naming the argument, for the log.
  std::wstring error;

  // A run that nobody watches: no window, no message box, an exit code.
  bool Unattended() const { return silent || plan; }
};

// One argument of a command line and where its raw text begins.
struct CommandLineArgument {
  std::wstring text;      // after the standard splitting (quotes removed)
  std::size_t offset = 0;  // of its first raw character in the command line
};

// The arguments after the program path, split as the process's standard
// splitting does: blanks and tabs separate, double quotes group and are
// removed, 2n backslashes before a quote give n and the quote groups, 2n+1
// give n and a literal quote, "" inside quotes is one quote.
//   LR"("C:\a b\setup.exe" /S "/DIR=C:\x y" a\"b)" => {/S, /DIR=C:\x y, a"b}
std::vector<CommandLineArgument> SplitCommandLine(std::wstring_view command_line);

// The switches of `command_line` (the whole line, program path first, as
// GetCommandLineW gives it). Never throws for bad input: an unknown switch,
// an unexpected word, an empty or repeated value, a target that is not a
// full path on a lettered drive ("C:\x"; not "\\server\share\x") or leads
// to a drive root ("C:\", "C:\orvek\.."), both /D= and /DIR=, both /ALLUSERS
// and /CURRENTUSER: `error` says so. A request for help is taken whatever else
// the line holds.
//   LR"(setup.exe /S /D=C:\Program Files\Orvek)" => silent, target
//     L"C:\Program Files\Orvek"
//   L"setup.exe -silent /dir=\"D:\\a b\" -NoDesktop" => silent, target
//     L"D:\a b", add_desktop false
//   L"setup.exe /S /X" => error L"unknown switch /X"
SetupSwitches ParseSetupSwitches(std::wstring_view command_line);

}  // namespace orvek::app
