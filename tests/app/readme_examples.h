// The README's examples for administrators, as the tests run them: every
// fenced block marked `bat` or `cmd` of the section "For administrators",
// and every inline command there that starts with the installer's file name.
#pragma once

#include <string>
#include <vector>

namespace orvek::test {

struct ReadmeExample {
  std::string text;  // as batch file text
  bool script;       // a fenced script, not a single command
};

// The examples of ORVEK_README, in the order printed.
std::vector<ReadmeExample> ReadmeExamples();

// `example` with the share "\\fileserver\deploy\" at the start of a command
// replaced by drive U:, which the caller maps to that share: Wine's cmd
// cannot start a program from a share.
std::string StartingFromDriveU(const std::string& example);

}  // namespace orvek::test
