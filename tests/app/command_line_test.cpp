#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/windows_version.h"

namespace orvek::app {
namespace {

TEST(HasSwitch, MatchesWholeArgumentInAnyAsciiCase) {
  for (const wchar_t* arg : {L"dpi", L"DPI", L"Dpi", L"dPI"}) {
    EXPECT_TRUE(HasSwitch({L"other", arg}, L"dpi")) << arg;
  }
  EXPECT_TRUE(HasSwitch({L"dpi"}, L"DPI"));
}

TEST(HasSwitch, HasNoPrefixSyntaxAndNoPartialMatch) {
  for (const wchar_t* arg : {L"-dpi", L"/dpi", L"--dpi", L"dpi2", L"dp", L" dpi", L"dpi "}) {
    EXPECT_FALSE(HasSwitch({arg}, L"dpi")) << arg;
  }
  EXPECT_FALSE(HasSwitch({}, L"dpi"));
}

TEST(HasSwitch, LowerCasesAsciiOnly) {
  // U+0130 (capital I with dot) must not fold to "i".
  EXPECT_FALSE(HasSwitch({L"DP\u0130"}, L"dpi"));
}

TEST(WindowsVersion, ClassifiesTheKnownVersions) {
  struct Case {
    unsigned major, minor;
    TWindowsVersion expected;
  } cases[] = {{4, 0, 0}, {4, 10, 1}, {4, 90, 2}, {5, 0, 3},  {5, 1, 4},
               {6, 0, 6}, {6, 1, 7},  {6, 2, 8},  {6, 3, 9},  {10, 0, 10}};
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyWindowsVersion(c.major, c.minor), c.expected) << c.major << "." << c.minor;
  }
}

TEST(WindowsVersion, GateRefusesXpAndOlderOnly) {
  for (auto [major, minor] : {std::pair{4u, 0u}, {4u, 10u}, {4u, 90u}, {5u, 0u}, {5u, 1u}}) {
    EXPECT_FALSE(PassesVersionGate(ClassifyWindowsVersion(major, minor))) << major << "." << minor;
  }
  // 5.2 (Server 2003 / XP x64) and versions the table does not know start.
  for (auto [major, minor] : {std::pair{5u, 2u}, {6u, 0u}, {6u, 1u}, {6u, 2u}, {6u, 3u},
                              {10u, 0u}, {10u, 1u}, {7u, 0u}, {6u, 4u}, {3u, 51u}, {4u, 1u}}) {
    EXPECT_TRUE(PassesVersionGate(ClassifyWindowsVersion(major, minor))) << major << "." << minor;
  }
}

}  // namespace
}  // namespace orvek::app
