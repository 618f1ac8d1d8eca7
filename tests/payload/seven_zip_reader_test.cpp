// The archive reader against the real 7z.dll and archives made by the 7z tool.
#include "payload/seven_zip_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/system_message.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "payload/percent.h"
#include "payload_test_files.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"

namespace orvek::payload {
namespace {

namespace fs = std::filesystem;
using test::Fixture;

std::wstring LibraryFile() {
  const std::string path = ORVEK_7ZDLL_FILE;
  return std::wstring(path.begin(), path.end());
}

std::wstring BesideTest(const std::wstring& name) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return (fs::path(std::wstring(buffer, n)).parent_path() / name).wstring();
}

base::ComPtr<I7zInArchive> OpenReader(const fs::path& archive, const std::wstring& password = L"vorplank") {
  base::ComPtr<I7zInArchive> reader = CreateArchiveReader(LibraryFile(), sevenzip::kClsid7zFormat);
  reader->AssignPassword(password);
  reader->OpenArchiveFile(archive.wstring());
  return reader;
}

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(CreateArchiveReader, RefusesWhatIsNotTheArchiveLibrary) {
  const std::wstring missing = BesideTest(L"no-such-library.dll");
  EXPECT_EQ(FailureOf([&] { CreateArchiveReader(missing, sevenzip::kClsid7zFormat); }),
            "Error loading library " + base::Utf8FromWide(missing));

  const std::wstring no_exports = BesideTest(L"payload_no_exports.dll");
  EXPECT_EQ(FailureOf([&] { CreateArchiveReader(no_exports, sevenzip::kClsid7zFormat); }),
            base::Utf8FromWide(no_exports) + " is not a 7z library");

  const std::wstring create_only = BesideTest(L"payload_create_only.dll");
  EXPECT_EQ(FailureOf([&] { CreateArchiveReader(create_only, sevenzip::kClsid7zFormat); }),
            base::Utf8FromWide(create_only) + " is not a Format library");
}

TEST(T7zInArchive, ListsItemsWithPathsFoldersAndSizes) {
  base::ComPtr<I7zInArchive> reader = OpenReader(Fixture(L"good.7z"));
  const std::uint32_t count = reader->ReadItemCount();
  EXPECT_GT(count, 300u);
  bool saw_chinese = false, saw_empty_folder = false, saw_big = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::wstring path = reader->ReadItemPath(i);
    if (path == L"\u4e2d\u6587\u76ee\u5f55\\\u8bf4\u660e\u6587\u6863.txt") {
      saw_chinese = true;
      EXPECT_FALSE(reader->ReadItemIsFolder(i));
      EXPECT_EQ(reader->ReadItemSize(i), 7u);
    } else if (path == L"empty_folder") {
      saw_empty_folder = true;
      EXPECT_TRUE(reader->ReadItemIsFolder(i));
    } else if (path == L"big.bin") {
      saw_big = true;
      EXPECT_EQ(reader->ReadItemSize(i), 3000000u);
    }
  }
  EXPECT_TRUE(saw_chinese);
  EXPECT_TRUE(saw_empty_folder);
  EXPECT_TRUE(saw_big);
}

// The library answers S_FALSE for both; its system text, "Invalid function.",
// would tell support nothing.
TEST(T7zInArchive, OpenFailuresSayWhatHappened) {
  const std::string expected = "the archive could not be opened: wrong password or damaged archive";
  EXPECT_EQ(FailureOf([] { OpenReader(Fixture(L"truncated.7z")); }), expected);
  // An encrypted item list cannot even be listed with the wrong password.
  EXPECT_EQ(FailureOf([] { OpenReader(Fixture(L"good-he.7z"), L"nope"); }), expected);
  EXPECT_NE(FailureOf([] { OpenReader(Fixture(L"missing.7z")); }), "(no failure)");
}

struct Progress {
  std::vector<std::pair<bool, std::int64_t>> notices;
  static std::int32_t Record(void* sender, bool total, std::int64_t value) {
    static_cast<Progress*>(sender)->notices.emplace_back(total, value);
    return 0;
  }
};

class Extraction : public testing::Test {
 protected:
  fs::path Target() const { return scratch_.path() / L"target"; }
  test::ScratchDir scratch_;
};

TEST_F(Extraction, WritesTheTreeByteForByteWithProgress) {
  // An encrypted item list as well as a plain one; a directory with and
  // without its trailing backslash.
  for (const wchar_t* name : {L"good.7z", L"good-he.7z"}) {
    SCOPED_TRACE(testing::Message() << base::Utf8FromWide(name));
    const fs::path target = Target() / name;
    base::ComPtr<I7zInArchive> reader = OpenReader(Fixture(name));
    Progress progress;
    reader->AssignProgressCallback(&progress, &Progress::Record);
    std::wstring directory = target.wstring();
    if (std::wstring(name) == L"good.7z") directory += L"\\";
    reader->ExtractAllBelow(directory);

    EXPECT_EQ(test::TreeDifferences(Fixture(L"tree"), target), std::vector<std::wstring>());
    EXPECT_FALSE(fs::exists(target / L"empty_folder"));  // folders come only with files
    ASSERT_FALSE(progress.notices.empty());
    EXPECT_TRUE(progress.notices.front().first);
    EXPECT_GT(progress.notices.size(), 1u);
    EXPECT_LE(progress.notices.back().second, progress.notices.front().second);
  }
}

TEST_F(Extraction, ReplacesReadOnlyFilesAndKeepsTheirAttributes) {
  fs::create_directories(Target());
  const fs::path read_only = Target() / L"readonly.txt";
  const fs::path normal = Target() / L"empty-file.txt";
  test::WriteBytes(read_only, "old content that is longer than the new one");
  test::WriteBytes(normal, "old");
  ::SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW(normal.c_str(), FILE_ATTRIBUTE_NORMAL);
  const DWORD read_only_attributes = ::GetFileAttributesW(read_only.c_str());
  ASSERT_TRUE(read_only_attributes & FILE_ATTRIBUTE_READONLY);

  OpenReader(Fixture(L"good.7z"))->ExtractAllBelow(Target().wstring());

  EXPECT_EQ(test::ReadBytes(read_only), "read-only target\n");
  EXPECT_EQ(::GetFileAttributesW(read_only.c_str()), read_only_attributes);
  EXPECT_EQ(test::ReadBytes(normal), "");
  EXPECT_EQ(::GetFileAttributesW(normal.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ::SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extraction, DamagedItemsFailAndAreRemoved) {
  // A wrong password with a plain item list and flipped bytes: the library
  // still answers S_OK for the whole extraction, only the item results say so.
  for (const wchar_t* name : {L"wrong-password.7z", L"corrupt.7z"}) {
    SCOPED_TRACE(testing::Message() << base::Utf8FromWide(name));
    const fs::path target = Target() / name;
    base::ComPtr<I7zInArchive> reader = OpenReader(Fixture(name));
    const std::string failure = FailureOf([&] { reader->ExtractAllBelow(target.wstring()); });
    EXPECT_EQ(failure.rfind("item " + base::Utf8FromWide((target / L"").wstring()), 0), 0u) << failure;
    EXPECT_NE(failure.find(" failed, "), std::string::npos) << failure;
    EXPECT_NE(failure.find("error"), std::string::npos) << failure;
    EXPECT_FALSE(fs::exists(target / L"big.bin"));
  }
}

TEST_F(Extraction, HostilePathsAreRefusedBeforeAnythingIsWritten) {
  // The library hands a backslash inside a stored name over as U+F05C, so the
  // absolute name reads "C:<U+F05C>abs.txt"; the colon alone refuses it.
  for (const auto& [name, item] : {std::pair{L"evil-dotdot.7z", "..\\evil.txt"},
                                   std::pair{L"evil-absolute.7z", "C:"}}) {
    SCOPED_TRACE(testing::Message() << base::Utf8FromWide(name));
    const fs::path target = Target() / L"inner";
    base::ComPtr<I7zInArchive> reader = OpenReader(Fixture(name));
    const std::string failure = FailureOf([&] { reader->ExtractAllBelow(target.wstring()); });
    EXPECT_EQ(failure.rfind(std::string("unsafe item path ") + item, 0), 0u) << failure;
    EXPECT_FALSE(fs::exists(Target() / L"evil.txt"));
    EXPECT_FALSE(fs::exists(target));
  }
  EXPECT_FALSE(fs::exists(L"C:\\abs.txt"));
}

TEST_F(Extraction, FileHeldByAnotherProgramEndsTheExtraction) {
  fs::create_directories(Target());
  const fs::path held = Target() / L"big.bin";
  test::WriteBytes(held, "held");
  base::UniqueHandle lock = base::MakeUniqueHandle(::CreateFileW(
      held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock);
  base::ComPtr<I7zInArchive> reader = OpenReader(Fixture(L"good.7z"));
  const std::string failure = FailureOf([&] { reader->ExtractAllBelow(Target().wstring()); });
  EXPECT_EQ(failure.rfind("can not create file " + base::Utf8FromWide(held.wstring()) + ", ", 0), 0u)
      << failure;
  lock.reset();
  EXPECT_EQ(test::ReadBytes(held), "held");
}

TEST_F(Extraction, CreateFailureHookCanSkipTheFile) {
  fs::create_directories(Target());
  const fs::path held = Target() / L"big.bin";
  test::WriteBytes(held, "held");
  base::UniqueHandle lock = base::MakeUniqueHandle(::CreateFileW(
      held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock);
  base::ComPtr<I7zInArchive> reader = CreateArchiveReader(LibraryFile(), sevenzip::kClsid7zFormat);
  auto* archive = static_cast<T7zInArchive*>(reader.get());
  int asked = 0;
  archive->AssignProgressExceptCallback(&asked, [](void* sender, const wchar_t*) {
    ++*static_cast<int*>(sender);
    return EC_IGNORE;
  });
  reader->AssignPassword(L"vorplank");
  reader->OpenArchiveFile(Fixture(L"good.7z").wstring());
  reader->ExtractAllBelow(Target().wstring());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(test::ReadBytes(Target() / L"readonly.txt"), "read-only target\n");
}

// The decoder threads are a tuning: a library that refuses the setting
// decodes with its own choice, and the extraction goes on.
TEST_F(Extraction, ALibraryThatRefusesTheDecoderThreadsStillExtracts) {
  base::ComPtr<I7zInArchive> reader =
      CreateArchiveReader(BesideTest(L"payload_refusing_library.dll"), sevenzip::kClsid7zFormat);
  reader->AssignPassword(L"vorplank");
  reader->AssignDecoderThreads(1);
  test::LogTail log;
  reader->OpenArchiveFile(Fixture(L"good.7z").wstring());
  reader->ExtractAllBelow(Target().wstring());
  EXPECT_EQ(test::TreeDifferences(Fixture(L"tree"), Target()), std::vector<std::wstring>());
  EXPECT_NE(log.Appended().find("decoder threads 1 refused by the library, "), std::string::npos) << log.Appended();
}

}  // namespace
}  // namespace orvek::payload
