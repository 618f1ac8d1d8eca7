#include "system/files/removal_rules.h"

#include <gtest/gtest.h>

namespace orvek::system {
namespace {

TEST(DirectoryPartTest, UpToTheLastBackslashOrColon) {
  EXPECT_EQ(DirectoryPart(L"C:\\a\\orvek\\uninstall.exe"), L"C:\\a\\orvek\\");
  // The value this installer writes for a directory typed with a backslash.
  EXPECT_EQ(DirectoryPart(L"D:\\orvek\\\\uninstall.exe"), L"D:\\orvek\\\\");
  EXPECT_EQ(DirectoryPart(L"\"C:\\orvek\\unins000.exe\" /SILENT"), L"\"C:\\orvek\\");
  EXPECT_EQ(DirectoryPart(L"D:uninstall.exe"), L"D:");
  EXPECT_EQ(DirectoryPart(L"uninstall.exe"), L"");
  EXPECT_EQ(DirectoryPart(L""), L"");
}

TEST(CutAtDriveLetterTest, KeepsTheCharacterBeforeTheFirstColon) {
  EXPECT_EQ(CutAtDriveLetter(L"C:\\orvek\\"), L"C:\\orvek\\");        // colon at 2
  EXPECT_EQ(CutAtDriveLetter(L":\\orvek\\"), L":\\orvek\\");          // colon at 1
  EXPECT_EQ(CutAtDriveLetter(L"\"C:\\orvek\\"), L"C:\\orvek\\");      // colon at 3
  EXPECT_EQ(CutAtDriveLetter(L"ab\"D:\\x\\y:z\\"), L"D:\\x\\y:z\\");  // first colon only
  EXPECT_EQ(CutAtDriveLetter(L"\\\\srv\\share\\orvek\\"), L"\\\\srv\\share\\orvek\\");
  EXPECT_EQ(CutAtDriveLetter(L""), L"");
}

TEST(IsDirectoryEntryTest, OnlyTheListedAttributeWords) {
  for (std::uint32_t word = 0x10; word <= 0x1F; ++word) EXPECT_TRUE(IsDirectoryEntry(word, L"d"));
  for (std::uint32_t word : {0x30u, 0x31u, 0x32u, 0x810u, 0x832u, 0x2010u, 0x2832u, 0x4030u,
                             0x6030u, 0x6032u, 0x12F7A8u}) {
    EXPECT_TRUE(IsDirectoryEntry(word, L"d")) << std::hex << word;
  }
  // A directory link, a plain file, and directories with other bits are not.
  for (std::uint32_t word : {0x410u, 0x430u, 0x20u, 0x0u, 0x80u, 0x33u, 0x34u, 0x110u, 0x811u,
                             0x4031u, 0x6010u, 0x12F7A9u}) {
    EXPECT_FALSE(IsDirectoryEntry(word, L"d")) << std::hex << word;
  }
  EXPECT_FALSE(IsDirectoryEntry(0x10, L"."));
  EXPECT_FALSE(IsDirectoryEntry(0x10, L".."));
  EXPECT_TRUE(IsDirectoryEntry(0x10, L"..."));
}

TEST(DrivePartTest, LetterAndColonOrServerAndShare) {
  EXPECT_EQ(DrivePart(L"D:\\orvek\\\\uninstall.exe"), L"D:");
  EXPECT_EQ(DrivePart(L"c:x"), L"c:");
  EXPECT_EQ(DrivePart(L"\\\\srv\\share\\orvek\\uninstall.exe"), L"\\\\srv\\share");
  EXPECT_EQ(DrivePart(L"\\\\srv\\share"), L"\\\\srv\\share");
  EXPECT_EQ(DrivePart(L"\\\\srv\\"), L"");
  EXPECT_EQ(DrivePart(L"\\\\srv"), L"");
  EXPECT_EQ(DrivePart(L"\\orvek\\uninstall.exe"), L"");
  EXPECT_EQ(DrivePart(L"orvek\\uninstall.exe"), L"");
}

TEST(OrdinaryFromFinalPathTest, DropsTheLongPathPrefix) {
  EXPECT_EQ(OrdinaryFromFinalPath(L"\\\\?\\C:\\Program Files\\orvek"), L"C:\\Program Files\\orvek");
  EXPECT_EQ(OrdinaryFromFinalPath(L"\\\\?\\C:\\"), L"C:\\");
  EXPECT_EQ(OrdinaryFromFinalPath(L"\\\\?\\UNC\\srv\\share\\orvek"), L"\\\\srv\\share\\orvek");
  EXPECT_EQ(OrdinaryFromFinalPath(L"D:\\orvek"), L"D:\\orvek");
  EXPECT_EQ(OrdinaryFromFinalPath(L"\\\\?\\Volume{0b1c}\\orvek"), L"");
  EXPECT_EQ(OrdinaryFromFinalPath(L"\\\\?\\UNC\\\\?\\orvek"), L"");  // no server
  EXPECT_EQ(OrdinaryFromFinalPath(L""), L"");
}

TEST(IsAbsoluteLocationTest, DriveAbsoluteOrNetworkOnly) {
  EXPECT_TRUE(IsAbsoluteLocation(L"C:\\orvek\\"));
  EXPECT_TRUE(IsAbsoluteLocation(L"\\\\srv\\share\\orvek\\"));
  EXPECT_FALSE(IsAbsoluteLocation(L"orvek\\"));
  EXPECT_FALSE(IsAbsoluteLocation(L"\\orvekclient\\"));  // what an empty APPDATA gives
  EXPECT_FALSE(IsAbsoluteLocation(L"C:orvek\\"));
  EXPECT_FALSE(IsAbsoluteLocation(L"\\\\.\\C:\\orvek"));
  EXPECT_FALSE(IsAbsoluteLocation(L"\\\\?\\C:\\orvek"));
  EXPECT_FALSE(IsAbsoluteLocation(L""));
}

TEST(IsDriveAbsoluteTest, NoNetworkDeviceOrRelativePaths) {
  EXPECT_TRUE(IsDriveAbsolute(L"C:\\Users\\t\\Desktop"));
  EXPECT_TRUE(IsDriveAbsolute(L"d:/x"));
  for (const wchar_t* refused : {L"\\\\srv\\share\\Desktop", L"\\\\?\\C:\\x", L"C:Desktop",
                                 L"\\Desktop", L"Desktop", L""}) {
    EXPECT_FALSE(IsDriveAbsolute(refused)) << refused;
  }
}

TEST(IsRootLocationTest, DriveAndShareRoots) {
  for (const wchar_t* root : {L"C:", L"C:\\", L"C:\\\\", L"\\\\srv\\share", L"\\\\srv\\share\\",
                              L"\\\\srv"}) {
    EXPECT_TRUE(IsRootLocation(root)) << root;
  }
  for (const wchar_t* below : {L"C:\\orvek", L"\\\\srv\\share\\orvek\\", L"C:\\a"}) {
    EXPECT_FALSE(IsRootLocation(below)) << below;
  }
}

TEST(RemovalRefusalTest, JudgesTheFinalPath) {
  EXPECT_EQ(RemovalRefusal(L"C:\\Program Files\\orvek\\", L"C:\\Program Files\\orvek", false), L"");
  // The historic substring test: anywhere, and in this letter case only.
  EXPECT_EQ(RemovalRefusal(L"C:\\orvek\\app\\", L"C:\\orvek\\app", false), L"");
  EXPECT_EQ(RemovalRefusal(L"C:\\Orvek\\", L"C:\\Orvek", false), kRefusalNoOrvek);
  // A link along the way: the target decides.
  EXPECT_EQ(RemovalRefusal(L"C:\\orvek\\sub\\", L"C:\\Windows\\sub", false), kRefusalNoOrvek);
  EXPECT_EQ(RemovalRefusal(L"C:\\j\\sub\\", L"C:\\data\\orvek\\sub", false), L"");
  // The disk spells it in another case than the value: the value counts.
  EXPECT_EQ(RemovalRefusal(L"C:\\PROGRAM FILES\\orvek\\", L"C:\\Program Files\\Orvek", false), L"");
  EXPECT_EQ(RemovalRefusal(L"C:\\orvek\\", L"C:\\orvek", true), L"the location is a link");
  EXPECT_EQ(RemovalRefusal(L"C:\\", L"C:\\", false), L"the location is a drive or share root");
  EXPECT_EQ(RemovalRefusal(L"C:\\orvek\\", L"\\\\srv\\share", false),
            L"the location is a drive or share root");
  EXPECT_EQ(RemovalRefusal(L"C:\\orvek\\", L"", false),
            L"the final path of the location cannot be read");
  // A server or share named so is not a folder of the installation.
  EXPECT_EQ(RemovalRefusal(L"\\\\orvek-srv\\c$\\client\\", L"\\\\orvek-srv\\c$\\client", false),
            kRefusalNoOrvek);
}

// The journal keeps the path the guard judged, so the undo of an upgrade
// is judged as its move was, and an earlier installation is never on a share.
TEST(RemovalRefusalTest, EarlierInstallationsAreJudgedByTheRecordedPathAndNeverOnAShare) {
  EXPECT_EQ(JudgedPath(L"c:\\schule\\orvek\\client\\", L"C:\\Schule\\Orvek\\Client"), L"c:\\schule\\orvek\\client");
  EXPECT_EQ(JudgedPath(L"C:\\j\\sub\\", L"C:\\data\\orvek\\sub"), L"C:\\data\\orvek\\sub");
  EXPECT_EQ(EarlierInstallationRefusal(L"c:\\schule\\orvek\\client", L"c:\\schule\\orvek\\client", false), L"");
  EXPECT_EQ(EarlierInstallationRefusal(L"\\\\localhost\\C$\\orvek\\client\\", L"\\\\localhost\\C$\\orvek\\client", false),
            L"the location is on a share");
  EXPECT_EQ(EarlierInstallationRefusal(L"Z:\\orvek\\client\\", L"\\\\srv\\s\\orvek\\client", false),
            L"the location is on a share");
}

}  // namespace
}  // namespace orvek::system
