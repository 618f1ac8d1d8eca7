// The static checks, on linked sample programs with known faults.
#include "pe/pe_checks.h"

#include <gtest/gtest.h>

#include "pe/installer_image.h"
#include "pe/pe_details.h"
#include "payload/pe_image.h"
#include "tool_test_files.h"

namespace orvek::tools {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::SamplePath;

std::string Joined(const std::vector<std::string>& problems) {
  std::string text;
  for (const auto& p : problems) text += p + "\n";
  return text;
}

Bytes LaidOut(const char* name) {
  Bytes image = ReadBytes(SamplePath(name));
  PrepareInstallerImage(image);
  return image;
}

TEST(PeChecks, ALaidOutAdminProgramPasses) {
  PeCheckOptions options;
  options.machine = payload::kMachineAmd64;
  options.gui = true;
  options.admin_manifest = true;
  options.installer_layout = true;
  options.checksum = true;
  EXPECT_EQ(Joined(CheckPeImage(LaidOut("linked"), options)), "");
}

TEST(PeChecks, ReportsMachineLayoutAndChecksum) {
  PeCheckOptions options;
  options.machine = payload::kMachineI386;
  options.installer_layout = true;
  options.checksum = true;
  Bytes image = ReadBytes(SamplePath("symbols"));
  image[2000] ^= 0xFF;
  const std::string problems = Joined(CheckPeImage(image, options));
  EXPECT_NE(problems.find("machine 0x8664, expected 0x014C"), std::string::npos) << problems;
  EXPECT_NE(problems.find("the PE header is at 128, not at 256"), std::string::npos) << problems;
  EXPECT_NE(problems.find("COFF symbol table"), std::string::npos) << problems;
  EXPECT_NE(problems.find("but the last section ends at"), std::string::npos) << problems;
  EXPECT_NE(problems.find("stored CheckSum"), std::string::npos) << problems;
}

TEST(PeChecks, ReportsManifestFaults) {
  PeCheckOptions options;
  options.admin_manifest = true;
  const std::string dpi = Joined(CheckPeImage(ReadBytes(SamplePath("dpi_aware")), options));
  EXPECT_NE(dpi.find("does not request level=\"requireAdministrator\""), std::string::npos) << dpi;
  EXPECT_NE(dpi.find("declares DPI awareness"), std::string::npos) << dpi;
  EXPECT_NE(dpi.find("lists supported operating systems"), std::string::npos) << dpi;
  EXPECT_EQ(Joined(CheckPeImage(ReadBytes(SamplePath("linked32")), options)),
            "no process manifest (RT_MANIFEST resource 1)\n");
}

TEST(PeChecks, SystemDllsMustBeBoundToTheSystemFolder) {
  const std::set<std::string> dlls = {"version.dll", "uxtheme.dll"};
  EXPECT_EQ(Joined(CheckSystemFolderFiles(
                R"(<file name="Version.dll" loadFrom="%SystemRoot%\system32\"/>)"
                R"(<asmv1:file loadFrom='%systemroot%\System32\' name='uxtheme.dll' />)",
                dlls)),
            "");
  const std::string problems = Joined(CheckSystemFolderFiles(
      R"(<file name="version.dll" loadFrom="C:\Users\x\Downloads\"/>)"
      R"(<file name="comctl32.dll" loadFrom="%SystemRoot%\system32\"/><file name="uxtheme.dll"/>)",
      dlls));
  EXPECT_NE(problems.find("loads version.dll from C:\\Users\\x\\Downloads\\"), std::string::npos) << problems;
  EXPECT_NE(problems.find("binds comctl32.dll"), std::string::npos) << problems;
  EXPECT_NE(problems.find("does not bind uxtheme.dll"), std::string::npos) << problems;
  EXPECT_NE(problems.find("does not bind version.dll"), std::string::npos) << problems;
}

TEST(PeChecks, FindsTheManifestText) {
  const Bytes image = ReadBytes(SamplePath("linked"));
  const auto manifest = FindProcessManifest(image, payload::ParsePeHeaders(image));
  ASSERT_TRUE(manifest);
  EXPECT_NE(manifest->find("requireAdministrator"), std::string::npos);
}

TEST(PeChecks, ListsImportsOfBothArchitectures) {
  for (const char* name : {"linked", "linked32"}) {
    const std::string imports = DescribeImports(ReadBytes(SamplePath(name)));
    EXPECT_NE(imports.find("kernel32.dll!GetTickCount\n"), std::string::npos) << imports;
    EXPECT_NE(imports.find("user32.dll!MessageBeep\n"), std::string::npos) << imports;
  }
}

TEST(PeChecks, ImportsOutsideTheListsAreReported) {
  const Bytes image = ReadBytes(SamplePath("linked32"));
  std::set<std::string> functions = ParseNameList(DescribeImports(image), true);
  ASSERT_EQ(functions.erase("user32.dll!MessageBeep"), 1u);

  PeCheckOptions options;
  options.allowed_dlls = ParseNameList("KERNEL32.dll\nmsvcrt.dll\n", true);
  options.allowed_functions = functions;
  options.denied_functions = {"GetTickCount"};
  EXPECT_EQ(Joined(CheckPeImage(image, options)),
            "imports kernel32.dll!GetTickCount, which Windows 7 does not have\n"
            "imports USER32.dll, which is not on the allowed DLL list\n"
            "imports user32.dll!MessageBeep, which is not on the vetted Windows 7 function list\n");
}

TEST(PeChecks, CommonControlsOnlyThroughTheManifestDependency) {
  PeCheckOptions options;
  options.allowed_dlls = ParseNameList("kernel32.dll\nuser32.dll\nmsvcrt.dll\ncomctl32.dll\n", true);
  EXPECT_EQ(Joined(CheckPeImage(ReadBytes(SamplePath("common_controls")), options)), "");
  const std::string bare = Joined(CheckPeImage(ReadBytes(SamplePath("common_controls_bare")), options));
  EXPECT_NE(bare.find("imports COMCTL32.dll without a manifest dependency on "
                      "Microsoft.Windows.Common-Controls"),
            std::string::npos)
      << bare;
}

TEST(NameList, SkipsCommentsAndBlanksAndLowersDllNames) {
  EXPECT_EQ(ParseNameList("# vetted\n  KERNEL32.DLL!CreateFileW  # docs\n\nUSER32.dll\r\n", true),
            (std::set<std::string>{"kernel32.dll!CreateFileW", "user32.dll"}));
  EXPECT_EQ(ParseNameList("SetDefaultDllDirectories\n", false),
            (std::set<std::string>{"SetDefaultDllDirectories"}));
}

}  // namespace
}  // namespace orvek::tools
