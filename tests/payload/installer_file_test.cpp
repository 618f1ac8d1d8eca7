// The installer's reader of its own file, under Wine: on hand-made files, and
// on installer files the build packed with orvek-pack.
#include "payload/installer_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/os_error.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "support/child_process.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"

namespace orvek::payload {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

class LogEnvironment : public testing::Environment {
 public:
  void SetUp() override { log::ConfigureLog(); }
  void TearDown() override { log::CloseLog(); }
};
const testing::Environment* const kLogEnvironment = testing::AddGlobalTestEnvironment(new LogEnvironment);

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The first 256 bytes of an installer file with these raw field bytes.
Bytes Head(std::string_view offset_field, std::string_view version_field) {
  Bytes head(256, '\0');
  head[0] = 'M', head[1] = 'Z';
  head.replace(128, offset_field.size(), offset_field);
  head.replace(132, version_field.size(), version_field);
  return head;
}

class InstallerFileTest : public testing::Test {
 protected:
  std::wstring Write(const std::wstring& name, const Bytes& bytes) {
    const fs::path path = dir_.path() / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.wstring();
  }

  std::wstring VersionOf(std::string_view version_field) {
    return PackageVersionText(ReadPackageVersion(Write(L"v.exe", Head("", version_field))));
  }

  // True when nobody holds the file open any more: an exclusive open succeeds.
  static bool Closed(const std::wstring& path) {
    return base::MakeUniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr))
        .valid();
  }

  test::ScratchDir dir_;
};

TEST_F(InstallerFileTest, OffsetIsLittleEndianSigned) {
  EXPECT_EQ(GetPayloadOffset(Write(L"a.exe", Head(std::string_view("\x00\x00\x50\x00", 4), ""))), 5242880);
  EXPECT_EQ(GetPayloadOffset(Write(L"b.exe", Head("\xFF\xFF\xFF\xFF", ""))), -1);
}

TEST_F(InstallerFileTest, VersionFieldExamples) {
  EXPECT_EQ(VersionOf(std::string_view("v6.15.1\0\0\0\0", 11)), L"v6.15.1");
  EXPECT_EQ(VersionOf("v6.15.1-b22"), L"v6.15.1-b22");
  EXPECT_EQ(VersionOf(std::string(11, '\0')), L"");
  EXPECT_EQ(VersionOf(std::string_view(" v6.15.1\0\0\0", 11)), L"v6.15.1");
  EXPECT_EQ(VersionOf("v6.15.1-rc12"), L"v6.15.1-rc1") << "a field written past 11 bytes by hand";
  EXPECT_EQ(VersionOf(std::string_view("\t\r\nv6\0.1\0\0\0", 11)), std::wstring(L"v6\0.1", 5));
}

TEST_F(InstallerFileTest, VersionBytesComeBackRaw) {
  const std::wstring path = Write(L"raw.exe", Head("", std::string_view("v6.15.1\0\0\0\0", 11)));
  EXPECT_EQ(ReadPackageVersion(path), std::string("v6.15.1\0\0\0\0", 11));
}

TEST_F(InstallerFileTest, ReadsWhileAnotherHandleWritesTheFile) {
  const std::wstring path = Write(L"busy.exe", Head(std::string_view("\x00\x3A\x00\x00", 4), "v6.15.1"));
  const base::UniqueHandle writer = base::MakeUniqueHandle(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                    nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(GetPayloadOffset(path), 0x3A00);
  EXPECT_EQ(PackageVersionText(ReadPackageVersion(path)), L"v6.15.1");
}

TEST_F(InstallerFileTest, UnreadableOffsetIsLoggedAndReadsAsZero) {
  const std::wstring locked = Write(L"locked.exe", Head("\x01\x02\x03\x04", ""));
  const std::wstring short_file = Write(L"short.exe", Bytes(130, 'x'));
  const struct {
    std::wstring path;
    const char* message;
  } cases[] = {
      {(dir_.path() / L"missing.exe").wstring(), "CreateFileW failed, error 2"},
      {short_file, "ReadFile failed, error 38"},
      {locked, "CreateFileW failed, error 32"},
  };
  const base::UniqueHandle exclusive = base::MakeUniqueHandle(
      ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(exclusive.valid());
  for (const auto& c : cases) {
    test::LogTail tail;
    EXPECT_EQ(GetPayloadOffset(c.path), 0) << c.message;
    EXPECT_NE(tail.Appended().find(std::string("get zipfile postion failed, ") + c.message), std::string::npos)
        << tail.Appended();
  }
}

TEST_F(InstallerFileTest, UnreadableVersionPropagates) {
  const std::wstring short_file = Write(L"short.exe", Bytes(140, 'x'));
  try {
    ReadPackageVersion((dir_.path() / L"missing.exe").wstring());
    FAIL() << "no failure for a missing file";
  } catch (const base::OsError& e) {
    EXPECT_EQ(e.code(), ERROR_FILE_NOT_FOUND);
  }
  try {
    ReadPackageVersion(short_file);
    FAIL() << "no failure for a file that ends inside the field";
  } catch (const base::OsError& e) {
    EXPECT_EQ(e.code(), ERROR_HANDLE_EOF);
  }
}

TEST_F(InstallerFileTest, ClosesTheFileInEveryCase) {
  const std::wstring good = Write(L"good.exe", Head("\x00\x02\x00\x00", "v1"));
  const std::wstring short_file = Write(L"short.exe", Bytes(131, 'x'));
  GetPayloadOffset(good);
  GetPayloadOffset(short_file);
  ReadPackageVersion(good);
  EXPECT_THROW(ReadPackageVersion(short_file), base::OsError);
  EXPECT_TRUE(Closed(good));
  EXPECT_TRUE(Closed(short_file));
}

// The probe packed by the build (CMakeLists.txt): it reads its own file
// while running from it, as the installer does.
TEST(PackedInstaller, ReadsItsOwnFieldsAndArchive) {
  test::ScratchDir dir;
  const fs::path exe = dir.path() / L"packed-probe.exe";
  fs::copy_file(test::WindowsPath(ORVEK_PACKED_PROBE), exe);
  const Bytes image = ReadAll(test::WindowsPath(ORVEK_PROBE_IMAGE));
  const Bytes archive = ReadAll(test::WindowsPath(ORVEK_TEST_ARCHIVE));
  const Bytes packed = ReadAll(exe);

  test::ChildProcess child = test::ChildProcess::Start(
      exe.wstring(), {(dir.path() / L"report.txt").wstring(), (dir.path() / L"payload.7z").wstring()});
  ASSERT_EQ(child.WaitForExit(20000), 0u);

  EXPECT_EQ(ReadAll(dir.path() / L"report.txt"),
            "offset=" + std::to_string(image.size()) + "\nversion=v6.15.1\n");
  const Bytes payload = ReadAll(dir.path() / L"payload.7z");
  EXPECT_EQ(payload.size(), packed.size() - image.size());
  EXPECT_EQ(payload.substr(0, 6), "7z\xBC\xAF\x27\x1C");
  EXPECT_EQ(payload.substr(0, archive.size()), archive);
  EXPECT_EQ(payload.substr(archive.size()), Bytes(payload.size() - archive.size(), '\0'))
      << "only the padding to 8 follows the archive";
}

#ifdef ORVEK_PACKED_SETUP
// The product, packed: the loader still takes it, its window comes up and it
// closes cleanly.
TEST(PackedInstaller, PackedProductStartsAndCloses) {
  test::ScratchDir dir;
  const fs::path exe = dir.path() / L"orvek-setup-packed.exe";
  fs::copy_file(test::WindowsPath(ORVEK_PACKED_SETUP), exe);
  test::ChildProcess child = test::ChildProcess::Start(exe.wstring(), {});
  const HWND window = test::WaitForTopWindow(
      child.Pid(), [](HWND hwnd) { return test::WindowClass(hwnd) == L"TfrmTeacherMain"; }, 20000,
      child.Handle());
  if (window == nullptr) child.Terminate();
  ASSERT_NE(window, nullptr) << "the packed product showed no main window";
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(child.WaitForExit(20000), 0u);
}
#endif

}  // namespace
}  // namespace orvek::payload
