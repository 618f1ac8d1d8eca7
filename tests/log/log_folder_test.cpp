#include "log/log_folder.h"

#include <gtest/gtest.h>

#include "log/file_appender.h"

namespace orvek::log {
namespace {

constexpr wchar_t kFolder[] = L"C:\\T\\\\orvek";

TEST(LogFolderTest, FilesDirectlyInTheFolderPassHoweverTheyAreSpelled) {
  EXPECT_EQ(LogFolder(L"C:\\T\\"), kFolder);
  for (const wchar_t* path : {L"C:\\T\\\\orvek\\teacher-install.log", L"c:/t/ORVEK/roll.log",
                              L"C:\\T\\orvek\\sub\\..\\.\\x.log", L"C:\\T\\\\orvek\\\\x.log"}) {
    EXPECT_TRUE(IsFileDirectlyInFolder(path, kFolder)) << path;
  }
}

TEST(LogFolderTest, EveryOtherPlaceIsRefused) {
  for (const wchar_t* path :
       {L"C:\\Windows\\System32\\x.dll", L"C:\\T\\orvek\\..\\x.log", L"C:\\T\\orvek\\sub\\x.log",
        L"C:\\T\\orvek", L"C:\\T\\orvek2\\x.log", L"D:\\T\\orvek\\x.log", L"x.log", L"orvek\\x.log",
        L"C:x.log", L"\\T\\orvek\\x.log", L"\\\\?\\C:\\T\\orvek\\x.log", L"\\\\srv\\T\\orvek\\x.log",
        L"C:\\..\\..\\T\\orvek\\x.log", L"C:\\T\\orvek\\x.log:stream", L"C:\\T\\orvek\\x.log.",
        L"C:\\T\\orvek\\x.log ", L"C:\\T\\orvek\\CON", L"C:\\T\\orvek\\com1.log", L"C:\\T\\orvek\\x*.log",
        L""}) {
    EXPECT_FALSE(IsFileDirectlyInFolder(path, kFolder)) << path;
  }
}

// A root is a folder only with its separator ("C:" is the current folder
// on C:): a log file or a temporary directory there keeps it.
TEST(LogFolderTest, RootsKeepTheirSeparator) {
  EXPECT_EQ(ExtractFileDir(L"C:\\deploy.log"), L"C:\\");
  EXPECT_EQ(ExtractFileDir(L"\\\\srv\\logs\\pc1.log"), L"\\\\srv\\logs\\");
  EXPECT_EQ(ExtractFileDir(L"\\\\srv\\logs\\sub\\pc1.log"), L"\\\\srv\\logs\\sub");
  EXPECT_EQ(ExtractFileDir(L"/x.log"), L"/");
  EXPECT_TRUE(IsFileDirectlyInFolder(L"C:\\orvek\\teacher-install.log", LogFolder(L"C:\\")));
}

}  // namespace
}  // namespace orvek::log
