#include "system/processes/process_match.h"

#include <gtest/gtest.h>

namespace orvek::system {
namespace {

TEST(ImageNameMatchesTest, ComparesFileNamePartOrWholeName) {
  EXPECT_TRUE(ImageNameMatches(L"orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:\\Program Files\\Orvek\\orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:\\Orvek\\orvekclient.exe", L"C:\\Orvek\\orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"C:\\Orvek\\orvekclient.exe", L"Orvek\\orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"orvekclient.exe.bak", L"orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"xorvekclient.exe", L"orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"C:\\orvekclient.exe\\other.exe", L"orvekclient.exe"));
}

TEST(ImageNameMatchesTest, IgnoresCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(ImageNameMatches(L"C:\\APP\\OrvekClient.EXE", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"loghelper.exe", L"logHelper.exe"));
  // Letters beyond ASCII keep their case, whatever the locale would say.
  EXPECT_FALSE(ImageNameMatches(L"\u00e9cole.exe", L"\u00c9cole.exe"));
  EXPECT_TRUE(ImageNameMatches(L"\u00e9COLE.exe", L"\u00e9cole.EXE"));
}

TEST(ImageInFolderTest, ProgramsInOrBelowTheFolderWhateverTheSpelling) {
  const struct {
    const wchar_t* image;
    const wchar_t* folder;
    bool inside;
  } cases[] = {
      {L"C:\\Orvek\\client\\orvekclient.exe", L"C:\\Orvek\\client", true},
      {L"C:\\Orvek\\client\\lib\\ia32\\check.exe", L"c:\\ORVEK\\Client\\", true},
      {L"\\\\?\\C:\\Orvek\\client\\orvekclient.exe", L"C:/Orvek//client", true},
      {L"\\\\srv\\share\\orvek\\orvekclient.exe", L"\\\\?\\UNC\\srv\\share\\orvek", true},
      {L"C:\\Orvek\\client2\\orvekclient.exe", L"C:\\Orvek\\client", false},
      {L"C:\\Orvek\\client.exe", L"C:\\Orvek\\client", false},
      {L"C:\\Orvek\\client", L"C:\\Orvek\\client", false},
      {L"D:\\Orvek\\client\\orvekclient.exe", L"C:\\Orvek\\client", false},
      {L"C:\\\u00c9cole\\orvekclient.exe", L"C:\\\u00e9cole", false},
      // No installation lies in a root or a relative folder.
      {L"C:\\Windows\\explorer.exe", L"C:\\", false},
      {L"C:\\Windows\\explorer.exe", L"C:", false},
      {L"\\\\srv\\share\\a.exe", L"\\\\srv\\share\\", false},
      {L"Orvek\\client\\orvekclient.exe", L"Orvek\\client", false},
      {L"C:\\Orvek\\client\\orvekclient.exe", L"", false},
      {L"\\\\?\\Volume{0}\\orvekclient.exe", L"\\\\?\\Volume{0}", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageInFolder(c.image, c.folder), c.inside) << std::wstring(c.image) << L" in " << c.folder;
  }
}

TEST(TaskkillParametersTest, LeadingBlankThenDecimalPid) {
  EXPECT_EQ(TaskkillParameters(4242), L" /f /pid 4242");
  EXPECT_EQ(TaskkillParameters(0), L" /f /pid 0");
  EXPECT_EQ(TaskkillParameters(4294967292u), L" /f /pid 4294967292");
}

}  // namespace
}  // namespace orvek::system
