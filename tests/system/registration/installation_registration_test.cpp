#include "system/registration/installation_registration.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "base/unicode.h"
#include "support/log_tail.h"
#include "system/installations/previous_installations.h"
#include "system/registration/registration_names.h"
#include "system/registration/shortcut_folders.h"
#include "system/registry.h"
#include "support/wine_links.h"

namespace orvek::system {
namespace {

using test::Exists;

const std::wstring kLink = L"Orvek教师客户端.lnk";
const std::wstring kUninstallLink = L"卸载Orvek教师客户端.lnk";

struct LinkContent {
  std::wstring target, working_directory, description;
  bool operator==(const LinkContent&) const = default;
};

// What the shell reads back from a .lnk file.
std::optional<LinkContent> ReadLink(const std::wstring& file) {
  if (!Exists(file)) return std::nullopt;
  ::CoInitialize(nullptr);
  LinkContent content;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
      if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH * 2] = {};
        link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
        content.target = text;
        text[0] = 0;
        link->GetWorkingDirectory(text, MAX_PATH * 2);
        content.working_directory = text;
        text[0] = 0;
        link->GetDescription(text, MAX_PATH * 2);
        content.description = text;
      }
      persist->Release();
    }
    link->Release();
  }
  ::CoUninitialize();
  return content;
}

std::map<std::wstring, std::wstring> EntryValues() {
  std::map<std::wstring, std::wstring> values;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistrationKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return values;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_size = 256;
    wchar_t data[1024] = {};
    DWORD data_size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegEnumValueW(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                        &data_size) != ERROR_SUCCESS) {
      break;
    }
    values[name] = type == REG_SZ ? std::wstring(data) : L"<not REG_SZ>";
  }
  ::RegCloseKey(key);
  return values;
}

// Points the user's Desktop and Programs folders into a test tree, maps the
// target drive, and clears the uninstall entry; all restored afterwards.
class RegisterInstallationTest : public ::testing::Test {
 protected:
  RegisterInstallationTest() {
    for (const wchar_t* d : {L"desktop", L"programs"}) ::CreateDirectoryW(tree_(d).c_str(), nullptr);
    ::DeleteFileW((L"P:\\" + kLink).c_str());
    // Wine's shell writes "Shell Folders" afresh from "User Shell Folders"
    // whenever it makes a link object, so both point into the tree.
    for (const wchar_t* key : {kShellFoldersKey, kUserShellFoldersKey}) {
      folders_.push_back(*RegistryKey::Create(HKEY_CURRENT_USER, key));
      for (const wchar_t* name : {L"Desktop", L"Programs"}) old_.push_back(Save(folders_.back().get(), name));
      folders_.back().WriteString(L"Desktop", desktop_);
      folders_.back().WriteString(L"Programs", programs_);
    }
    ClearEntry();
  }
  ~RegisterInstallationTest() override {
    // As they were, type included: "User Shell Folders" holds REG_EXPAND_SZ
    // values, and a plain string there would leave "%USERPROFILE%\Desktop"
    // unexpanded for every later test in the prefix.
    for (std::size_t i = 0; i < old_.size(); ++i) Restore(folders_[i / 2].get(), old_[i]);
    ClearEntry();
  }
  static constexpr wchar_t kUserShellFoldersKey[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  // One drive for the suite: unmapping one costs a second (see ScopedDrive).
  static void SetUpTestSuite() {
    drive_tree_ = new test::TestTree;
    drive_ = new test::ScopedDrive(L'P', (*drive_tree_)());
  }
  static void TearDownTestSuite() {
    delete drive_;
    delete drive_tree_;
  }
  static void ClearEntry() {
    if (std::optional<RegistryKey> parent = RegistryKey::Open(
            HKEY_CURRENT_USER, L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall",
            RegistryAccess::kFull)) {
      parent->DeleteKeyTree(L"orvek-teacher");
    }
  }
  // Every shortcut file the operation may touch, with what it holds.
  std::map<std::wstring, std::optional<LinkContent>> Shortcuts() const {
    std::map<std::wstring, std::optional<LinkContent>> links;
    for (const std::wstring& file :
         {desktop_ + L"\\" + kLink, std::wstring(L"P:\\") + kLink, programs_ + L"\\" + kLink,
          menu_ + L"\\" + kLink, menu_ + L"\\" + kUninstallLink}) {
      links[file] = ReadLink(file);
    }
    return links;
  }
  void PlantOldShortcuts() const {
    for (const std::wstring& file : {desktop_ + L"\\" + kLink, programs_ + L"\\" + kLink}) {
      test::WriteText(file, "old");
    }
    ::CreateDirectoryW(menu_.c_str(), nullptr);
    test::WriteText(menu_ + L"\\" + kLink, "old");
    test::WriteText(menu_ + L"\\" + kUninstallLink, "old");
  }

  test::TestTree tree_;
  const std::wstring desktop_ = tree_(L"desktop");
  const std::wstring programs_ = tree_(L"programs");
  const std::wstring menu_ = programs_ + L"\\Orvek";
  const std::wstring dir_ = L"P:\\orvek\\teacher";
  const LinkContent client_{dir_ + L"\\orvekclient.exe", dir_ + L"\\", L"Orvek教师客户端"};
  const LinkContent uninstaller_{dir_ + L"\\uninstall.exe", dir_ + L"\\",
                                 L"Orvek教师客户端卸载程序"};
  const std::wstring url_ = L"https://publisher.example/";
  const std::map<std::wstring, std::wstring> entry_{
      {L"UninstallString", dir_ + L"\\uninstall.exe"},
      {L"DisplayName", L"Orvek教师客户端"},
      {L"DisplayIcon", dir_ + L"\\orvekclient.exe"},
      {L"Publisher", L"Orvek教育科技股份有限公司"},
      {L"UrlInfoAbout", url_},
      // Read back whole by the silent all-users installation's test.
      {L"DisplayVersion", L""},
      {L"InstallLocation", dir_},
      {L"EstimatedSize", L"<not REG_SZ>"},
      {L"NoModify", L"<not REG_SZ>"},
      {L"NoRepair", L"<not REG_SZ>"}};
  std::vector<RegistryKey> folders_;

 private:
  static inline test::TestTree* drive_tree_ = nullptr;
  static inline test::ScopedDrive* drive_ = nullptr;
  struct SavedValue {
    std::wstring name;
    DWORD type = REG_NONE;  // REG_NONE: the value did not exist
    std::vector<BYTE> data;
  };
  static SavedValue Save(HKEY key, const wchar_t* name) {
    SavedValue saved{name, REG_NONE, std::vector<BYTE>(4096)};
    DWORD size = static_cast<DWORD>(saved.data.size());
    if (::RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(), &size) != ERROR_SUCCESS) {
      saved.type = REG_NONE;
    }
    saved.data.resize(saved.type == REG_NONE ? 0 : size);
    return saved;
  }
  static void Restore(HKEY key, const SavedValue& saved) {
    if (saved.type == REG_NONE) {
      ::RegDeleteValueW(key, saved.name.c_str());
    } else {
      ::RegSetValueExW(key, saved.name.c_str(), 0, saved.type, saved.data.data(),
                       static_cast<DWORD>(saved.data.size()));
    }
  }
  std::vector<SavedValue> old_;
};

TEST_F(RegisterInstallationTest, OptionsOffRemoveOldShortcutsButKeepTheDriveOneAndTheEntry) {
  PlantOldShortcuts();
  test::LogTail log;
  RegisterInstallation({dir_, false, false, url_});

  const auto links = Shortcuts();
  EXPECT_EQ(links.at(L"P:\\" + kLink), client_);
  for (const std::wstring& gone : {desktop_ + L"\\" + kLink, programs_ + L"\\" + kLink,
                                   menu_ + L"\\" + kLink, menu_ + L"\\" + kUninstallLink}) {
    EXPECT_FALSE(links.at(gone)) << base::Utf8FromWide(gone);
  }
  EXPECT_TRUE(Exists(menu_));
  EXPECT_EQ(EntryValues(), entry_);
  EXPECT_EQ(log.Appended(), "");
}

TEST_F(RegisterInstallationTest, OptionsOnMakeFourShortcutsAndASecondRunChangesNothing) {
  PlantOldShortcuts();
  RegisterInstallation({dir_, true, true, url_});
  const auto once = Shortcuts();
  EXPECT_EQ(once.at(desktop_ + L"\\" + kLink), client_);
  EXPECT_EQ(once.at(L"P:\\" + kLink), client_);
  EXPECT_FALSE(once.at(programs_ + L"\\" + kLink));
  EXPECT_EQ(once.at(menu_ + L"\\" + kLink), client_);
  EXPECT_EQ(once.at(menu_ + L"\\" + kUninstallLink), uninstaller_);
  EXPECT_EQ(EntryValues(), entry_);
  // The next run finds this installation as the v4.9 location.
  EXPECT_EQ(FindPreviousInstallations().uninstall_v49, dir_ + L"\\");

  RegisterInstallation({dir_, true, true, url_});
  EXPECT_EQ(Shortcuts(), once);
  EXPECT_EQ(EntryValues(), entry_);
}

// Typed with blanks and a final backslash: trimmed, then joined as typed.
TEST_F(RegisterInstallationTest, FinalBackslashGivesDoubledSeparators) {
  RegisterInstallation({L" " + dir_ + L"\\ ", false, true, url_});
  EXPECT_EQ(EntryValues().at(L"UninstallString"), dir_ + L"\\\\uninstall.exe");
  EXPECT_EQ(EntryValues().at(L"DisplayIcon"), dir_ + L"\\\\orvekclient.exe");
  EXPECT_EQ(FindPreviousInstallations().uninstall_v49, dir_ + L"\\\\");
  EXPECT_TRUE(Exists(L"P:\\" + kLink));
  const std::optional<LinkContent> uninstaller = ReadLink(menu_ + L"\\" + kUninstallLink);
  ASSERT_TRUE(uninstaller);
  EXPECT_EQ(uninstaller->description, uninstaller_.description);
}

TEST_F(RegisterInstallationTest, EmptyDesktopFolderSkipsOnlyTheDesktopShortcut) {
  for (RegistryKey& key : folders_) key.WriteString(L"Desktop", L"");
  test::LogTail log;
  RegisterInstallation({dir_, true, true, url_});
  EXPECT_NE(log.Appended().find("Desktop folder unknown"), std::string::npos) << log.Appended();
  EXPECT_EQ(ReadLink(L"P:\\" + kLink), client_);
  EXPECT_EQ(ReadLink(menu_ + L"\\" + kLink), client_);
  EXPECT_EQ(EntryValues(), entry_);
}

TEST_F(RegisterInstallationTest, FailureStopsWithOneLineAndLeavesEverythingAsItWas) {
  PlantOldShortcuts();
  const DWORD number = 1;
  ::RegSetValueExW(folders_[0].get(), L"Desktop", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&number), sizeof number);
  test::LogTail log;
  RegisterInstallation({dir_, true, true, url_});
  const std::string text = log.Appended();
  const std::string line = "create desktop link error, ";
  ASSERT_NE(text.find(line), std::string::npos) << text;
  EXPECT_EQ(text.find(line), text.rfind(line)) << text;
  EXPECT_EQ(test::ReadText(desktop_ + L"\\" + kLink), "old");
  EXPECT_EQ(test::ReadText(programs_ + L"\\" + kLink), "old");
  EXPECT_FALSE(Exists(L"P:\\" + kLink));
  EXPECT_TRUE(EntryValues().empty());
}

// Without the user's folders no shortcut is touched, the drive root's
// included; the entry is still written.
TEST_F(RegisterInstallationTest, ShellFoldersKeyThatCannotBeOpenedLeavesEveryShortcut) {
  PlantOldShortcuts();
  test::WriteText(L"P:\\" + kLink, "old");
  const HKEY key = folders_[0].get();
  DWORD size = 0;
  ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> saved(size);
  ASSERT_EQ(::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data(), &size), ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR deny_reading = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;KR;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &deny_reading, nullptr));
  ASSERT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, deny_reading), ERROR_SUCCESS);
  ::LocalFree(deny_reading);
  const bool denied = !RegistryKey::Open(HKEY_CURRENT_USER, kShellFoldersKey, RegistryAccess::kRead);
  test::LogTail log;
  if (denied) RegisterInstallation({dir_, true, true, url_});
  ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data());
  ASSERT_TRUE(denied);

  for (const std::wstring& file : {desktop_ + L"\\" + kLink, std::wstring(L"P:\\") + kLink, programs_ + L"\\" + kLink,
                                   menu_ + L"\\" + kLink, menu_ + L"\\" + kUninstallLink}) {
    EXPECT_EQ(test::ReadText(file), "old") << base::Utf8FromWide(file);
  }
  EXPECT_NE(log.Appended().find("Shell Folders key cannot be opened, no shortcut touched"), std::string::npos)
      << log.Appended();
  EXPECT_EQ(EntryValues(), entry_);
}

// The folder values are the user's: a link put in the start-menu folder's
// place is not written through, ".." is resolved, a relative value (taken
// from the current directory otherwise) refused.
TEST_F(RegisterInstallationTest, FolderValuesAreCheckedBeforeShortcutsGoThere) {
  const std::wstring elsewhere = tree_(L"elsewhere");
  ::CreateDirectoryW(elsewhere.c_str(), nullptr);
  for (const std::wstring& name : {kLink, kUninstallLink}) test::WriteText(elsewhere + L"\\" + name, "theirs");
  test::MakeSymbolicLink(menu_, elsewhere);
  for (RegistryKey& key : folders_) key.WriteString(L"Desktop", programs_ + L"\\..\\desktop");
  test::LogTail log;
  RegisterInstallation({dir_, true, true, url_});
  std::string text = log.Appended();
  EXPECT_NE(text.find("start-menu folder is a link, start-menu shortcuts skipped"), std::string::npos)
      << text;
  for (const std::wstring& name : {kLink, kUninstallLink}) {
    EXPECT_EQ(test::ReadText(elsewhere + L"\\" + name), "theirs");
  }
  EXPECT_EQ(ReadLink(desktop_ + L"\\" + kLink), client_);
  EXPECT_EQ(ReadLink(L"P:\\" + kLink), client_);
  EXPECT_EQ(EntryValues(), entry_);

  for (RegistryKey& key : folders_) key.WriteString(L"Desktop", L"desktop");
  RegisterInstallation({dir_, false, false, url_});
  text = log.Appended();
  EXPECT_NE(text.find("Desktop folder refused, desktop shortcut skipped, desktop"), std::string::npos)
      << text;
  EXPECT_EQ(ReadLink(desktop_ + L"\\" + kLink), client_);
}

}  // namespace
}  // namespace orvek::system
