#include "app/setup_switches.h"

#include <gtest/gtest.h>

#include "app/exit_code.h"

namespace orvek::app {
namespace {

SetupSwitches Parse(std::wstring_view args) {
  return ParseSetupSwitches(LR"("C:\Users\it\Downloads\orvek setup.exe" )" + std::wstring(args));
}

TEST(SetupSwitches, NamesIgnoreCaseAndTakeSlashOrDash) {
  for (const wchar_t* s : {L"/S", L"/s", L"-S", L"/SILENT", L"-silent", L"/VerySilent", L"-VERYSILENT"}) {
    const SetupSwitches sw = Parse(s);
    EXPECT_TRUE(sw.silent && sw.Unattended()) << s;
    EXPECT_EQ(sw.error, L"") << s;
  }
  const SetupSwitches sw = Parse(L"-plan /NoDesktop -NOSTARTMENU /clearUserData -AllUsers dpi");
  EXPECT_TRUE(sw.plan && sw.Unattended());
  EXPECT_TRUE(sw.all_users);
  EXPECT_FALSE(sw.silent);
  EXPECT_FALSE(sw.add_desktop);
  EXPECT_FALSE(sw.add_start_menu);
  EXPECT_TRUE(sw.clear_user_data);
  EXPECT_FALSE(sw.current_user);
  EXPECT_EQ(sw.error, L"");
  EXPECT_TRUE(Parse(L"/S -CurrentUser").current_user);
}

TEST(SetupSwitches, DefaultsAreTheFirstPagesAndAPlainRunIsAttended) {
  const SetupSwitches sw = ParseSetupSwitches(L"setup.exe");
  EXPECT_FALSE(sw.Unattended());
  EXPECT_TRUE(sw.add_desktop);
  EXPECT_TRUE(sw.add_start_menu);
  EXPECT_FALSE(sw.clear_user_data);
  EXPECT_EQ(sw.target, L"");
  EXPECT_EQ(sw.log_file, L"");
  EXPECT_EQ(sw.error, L"");
}

TEST(SetupSwitches, DTakesTheRestOfTheLineUnquoted) {
  SetupSwitches sw = Parse(LR"(/S /d=C:\Program Files (x86)\My  Apps\orvek   )");
  EXPECT_EQ(sw.target, LR"(C:\Program Files (x86)\My  Apps\orvek)");
  EXPECT_EQ(sw.error, L"");
  // What looks like switches after it is part of the path.
  sw = Parse(LR"(-S -D=D:\a /NODESKTOP)");
  EXPECT_EQ(sw.target, LR"(D:\a /NODESKTOP)");
  EXPECT_TRUE(sw.add_desktop);
  // Quotes cannot be in a path: a script that quoted anyway still works.
  EXPECT_EQ(Parse(LR"(/S /D="D:\a b")").target, LR"(D:\a b)");
}

TEST(SetupSwitches, DirTakesOneArgumentWithOrWithoutQuotes) {
  EXPECT_EQ(Parse(LR"(/S /DIR="D:\a b\c" /NODESKTOP)").target, LR"(D:\a b\c)");
  EXPECT_EQ(Parse(LR"(/S "/dir=D:\a b" /NODESKTOP)").target, LR"(D:\a b)");
  const SetupSwitches sw = Parse(LR"(-Dir=d:/apps\orvek\ /S)");
  EXPECT_EQ(sw.target, LR"(d:/apps\orvek\)");  // exactly as given
  EXPECT_TRUE(sw.silent);
  EXPECT_EQ(Parse(LR"(/S "/LOG=C:\logs\it dept\orvek.log")").log_file, LR"(C:\logs\it dept\orvek.log)");
}

TEST(SetupSwitches, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    const wchar_t* args;
    const wchar_t* error;
  } cases[] = {
      {L"/S /X", L"unknown switch /X"},
      {L"/S /Silentt", L"unknown switch /Silentt"},
      {L"/S=1", L"unknown switch /S=1"},
      {L"/S /NODESKTOP=0", L"unknown switch /NODESKTOP=0"},
      {L"/S install", L"unexpected argument install"},
      {L"/S /DIR=", L"empty value of /DIR="},
      {L"/S /LOG=", L"empty value of /LOG="},
      {L"/S /LOG=a /LOG=b", L"/LOG= given twice"},
      {L"/S /DIR=D:\\a /D=D:\\b", L"target directory given twice"},
      {L"/S /DIR=orvek", L"target directory is not a full path, orvek"},
      {L"/S /DIR=C:orvek", L"target directory is not a full path, C:orvek"},
      {L"/S /DIR=\\orvek", L"target directory is not a full path, \\orvek"},
      {L"/S /D=C:\\", L"target directory is a root, C:\\"},
      {L"/S /D=C:\\\\", L"target directory is a root, C:\\\\"},
      {L"/S /DIR=C:\\.", L"target directory is a root, C:\\."},
      {L"/S /D=C:\\orvek\\..", L"target directory is a root, C:\\orvek\\.."},
      {L"/S /D=\\\\srv\\share\\orvek", L"target directory is not on a drive with a letter, \\\\srv\\share\\orvek"},
      {L"/S /ALLUSERS /CurrentUser", L"/ALLUSERS and /CURRENTUSER together"},
      {L"/S /CURRENTUSER -allusers", L"/ALLUSERS and /CURRENTUSER together"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.args).error, c.error) << c.args;
  }
  // A bad argument before /S still leaves a silent run, which ends with the
  // bad command line's code rather than opening the window.
  const SetupSwitches sw = Parse(L"/Q /VERYSILENT /X");
  EXPECT_TRUE(sw.silent);
  EXPECT_EQ(sw.error, L"unknown switch /Q");
}

TEST(SetupSwitches, DeploymentToolsHabitsAreAcceptedAndHelpWinsOverABadLine) {
  struct Case {
    const wchar_t* args;
    bool help, silent, current_user;
    const wchar_t* error;
  } cases[] = {
      {L"/S /NORESTART /SuppressMsgBoxes", false, true, false, L""},
      {L"-norestart /S", false, true, false, L""},
      {L"/S /CurrentUser", false, true, true, L""},
      {L"/S /CURRENTUSER /ALLUSERS", false, true, true, L"/ALLUSERS and /CURRENTUSER together"},
      {L"/?", true, false, false, L""},
      {L"-HELP /S", true, true, false, L""},
      {L"/S -? /X", true, true, false, L"unknown switch /X"},
      {L"/NORESTART=1", false, false, false, L"unknown switch /NORESTART=1"},
      {L"/HELP=1", false, false, false, L"unknown switch /HELP=1"},
  };
  for (const Case& c : cases) {
    const SetupSwitches sw = Parse(c.args);
    EXPECT_EQ(sw.help, c.help) << c.args;
    EXPECT_EQ(sw.silent, c.silent) << c.args;
    EXPECT_EQ(sw.current_user, c.current_user) << c.args;
    EXPECT_EQ(sw.error, c.error) << c.args;
  }
}

TEST(SplitCommandLine, FollowsTheStandardSplitting) {
  const auto args = SplitCommandLine(LR"("C:\a b\x.exe" one "t w o" a\\"b c" d\"e "" f""g "h""i")");
  std::vector<std::wstring> texts;
  for (const auto& a : args) texts.push_back(a.text);
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"one", L"t w o", LR"(a\b c)", LR"(d"e)", L"", L"fg",
                                              LR"(h"i)"}));
  EXPECT_EQ(args[0].offset, 15u);
  // A program path without quotes ends at the first blank.
  EXPECT_EQ(SplitCommandLine(L"setup.exe\t/S").at(0).text, L"/S");
  EXPECT_TRUE(SplitCommandLine(L"\"C:\\x.exe\"").empty());
}

TEST(ExitCode, KeepsTheNumbersDeploymentScriptsCompareAgainst) {
  // Published in the README: never renumber.
  EXPECT_EQ(static_cast<int>(ExitCode::kWindowsTooOld), 1150);
  EXPECT_EQ(static_cast<int>(ExitCode::kInstallFailed), 1603);
  EXPECT_EQ(static_cast<int>(ExitCode::kAnotherInstallRunning), 1618);
  EXPECT_EQ(static_cast<int>(ExitCode::kBadCommandLine), 1639);
  EXPECT_EQ(static_cast<int>(ExitCode::kLogFile), 4606);
  EXPECT_EQ(ExitCodeText(ExitCode::kDiskSpace), L"too little disk space");
}

}  // namespace
}  // namespace orvek::app
