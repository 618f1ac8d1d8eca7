#include "system/processes/module_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/unique_handle.h"
#include "helper_process.h"
#include "system/files/temp_directory.h"

namespace orvek::system {
namespace {

TEST(GetModulePathTest, FullPathOfTheRunningProgram) {
  std::wstring expected(32768, L'\0');
  expected.resize(::GetModuleFileNameW(nullptr, expected.data(), 32768));
  EXPECT_EQ(GetModulePath(), expected);
  EXPECT_EQ(GetModulePath().substr(1, 2), L":\\");
}

// A program folder nested deep enough that the path passes 260 characters,
// removed again with the copy inside it.
class DeepFolder {
 public:
  DeepFolder() {
    path_ = GetTempDirectory() + test::UniqueName(L"orvek-deep-");
    for (;;) {
      created_.push_back(path_);
      EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr)) << ::GetLastError();
      if (path_.size() > 280) break;
      path_ += L"\\a-rather-long-folder-name-for-the-program";
    }
  }
  ~DeepFolder() {
    for (const auto& file : files_) ::DeleteFileW(file.c_str());
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      ::RemoveDirectoryW(it->c_str());
    }
  }
  std::wstring Add(const std::wstring& name) {
    files_.push_back(path_ + L"\\" + name);
    return files_.back();
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> created_;
  std::vector<std::wstring> files_;
};

// Wine, like Windows without long-path support, refuses to start a program
// from such a folder, but loads a library from it, which exercises the same
// lookup.
TEST(GetModulePathTest, PathBeyond260CharactersIsReturnedWhole) {
  DeepFolder folder;
  const std::wstring copy = folder.Add(L"system_test_module.dll");
  ASSERT_GT(copy.size(), 280u);
  const std::wstring module_name = test::TestBinaryDir() + L"system_test_module.dll";
  ASSERT_TRUE(::CopyFileW(module_name.c_str(), copy.c_str(), FALSE)) << ::GetLastError();

  const base::UniqueModule module(::LoadLibraryW(copy.c_str()));
  ASSERT_TRUE(module.valid()) << ::GetLastError();
  EXPECT_EQ(GetModulePath(module.get()), copy);
}

}  // namespace
}  // namespace orvek::system
