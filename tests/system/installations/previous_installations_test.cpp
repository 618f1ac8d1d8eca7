#include "system/installations/previous_installations.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/os_error.h"
#include "base/text.h"
#include "base/unicode.h"
#include "support/log_tail.h"
#include "system/files/temp_directory.h"
#include "system/registry.h"
#include "support/wine_links.h"

namespace orvek::system {
namespace {

using test::Exists;
using test::Has;
using test::ReadText;
using test::WriteText;

// Raw access in an explicit view, to see where the installer's writes land.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const void* data, DWORD size, REGSAM view = KEY_WOW64_32KEY) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(key);
}

void SetText(HKEY root, const std::wstring& path, const std::wstring& name,
             const std::wstring& text, REGSAM view = KEY_WOW64_32KEY) {
  SetValue(root, path, name, REG_SZ, text.c_str(),
           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), view);
}

void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_32KEY) {
  const std::size_t cut = path.rfind(L'\\');
  HKEY parent = nullptr;
  if (::RegOpenKeyExW(root, path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view, &parent) ==
      ERROR_SUCCESS) {
    ::RegDeleteTreeW(parent, path.substr(cut + 1).c_str());
    ::RegCloseKey(parent);
  }
}

const std::wstring kProductKey = std::wstring(L"Software\\") + kProductKeyV50;

// The fixed keys of both generations are cleared before and after each case.
class RegistryCase : public ::testing::Test {
 protected:
  RegistryCase() { Clear(); }
  ~RegistryCase() override { Clear(); }
  static void Clear() {
    DeleteTree(HKEY_CURRENT_USER, kUninstallKeyV49);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      DeleteTree(root, kUninstallKeyV50);
      DeleteTree(root, kProductKey);
      DeleteTree(root, kUninstallKeyV50, KEY_WOW64_64KEY);
    }
    DeleteTree(HKEY_LOCAL_MACHINE, test_key_);
    DeleteTree(HKEY_CURRENT_USER, test_key_);
  }
  static inline const std::wstring test_key_ =
      L"Software\\orvek-registry-test-" + std::to_wstring(::GetCurrentProcessId());
};

using RegistryKeyTest = RegistryCase;

TEST_F(RegistryKeyTest, MachineKeysLiveInThe32BitBranch) {
  {
    std::optional<RegistryKey> key = RegistryKey::Create(HKEY_LOCAL_MACHINE, test_key_);
    ASSERT_TRUE(key);
    key->WriteString(L"UninstallString", L"C:\\orvek\\uninstall.exe");
  }
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, test_key_, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, test_key_, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE,
                        L"Software\\Wow6432Node\\" + test_key_.substr(9), KEY_WOW64_64KEY));

  // An entry only in the 64-bit branch is not one the 32-bit product sees.
  SetText(HKEY_LOCAL_MACHINE, kUninstallKeyV50, L"UninstallString", L"C:\\orvek\\x.exe",
          KEY_WOW64_64KEY);
  EXPECT_EQ(ReadRegistryString(kUninstallKeyV50, L"UninstallString", HKEY_LOCAL_MACHINE), L"");
  SetText(HKEY_LOCAL_MACHINE, kUninstallKeyV50, L"UninstallString", L"C:\\orvek32\\x.exe");
  EXPECT_EQ(ReadRegistryString(kUninstallKeyV50, L"UninstallString", HKEY_LOCAL_MACHINE),
            L"C:\\orvek32\\");
}

TEST_F(RegistryKeyTest, ReadsTextOfEitherStringTypeAndRefusesOthers) {
  const std::wstring expand = L"%APPDATA%\\x";
  SetValue(HKEY_CURRENT_USER, test_key_, L"expand", REG_EXPAND_SZ, expand.c_str(),
           static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t)));
  SetValue(HKEY_CURRENT_USER, test_key_, L"unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t));
  const DWORD number = 7;
  SetValue(HKEY_CURRENT_USER, test_key_, L"number", REG_DWORD, &number, sizeof number);
  const std::optional<RegistryKey> key =
      RegistryKey::Open(HKEY_CURRENT_USER, test_key_, RegistryAccess::kRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString(L"expand"), expand);
  EXPECT_EQ(key->ReadString(L"unterminated"), L"abc");
  EXPECT_EQ(key->ReadString(L"missing"), L"");
  test::LogTail log;
  EXPECT_EQ(key->ReadString(L"number"), L"");
  EXPECT_TRUE(Has(log.Appended(), L"registry value is not a string, " + test_key_ + L"\\number"))
      << log.Appended();
  EXPECT_THROW(key->ReadString(L"number", NonStringValue::kThrow), RegistryTypeError);
  // A key opened for reading refuses a write.
  EXPECT_THROW(RegistryKey::Open(HKEY_CURRENT_USER, test_key_, RegistryAccess::kRead)
                   ->WriteString(L"x", L"y"),
               base::OsError);
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, test_key_ + L"\\missing",
                                 RegistryAccess::kRead));
}

TEST_F(RegistryKeyTest, DeletesAKeyWithEverythingBelowIt) {
  for (const wchar_t* sub : {L"\\victim\\a\\b\\c", L"\\victim\\a\\d", L"\\victim\\e", L"\\other"}) {
    SetText(HKEY_CURRENT_USER, test_key_ + sub, L"v", L"x");
  }
  EXPECT_TRUE(DeleteRegistryKey(test_key_, L"victim", HKEY_CURRENT_USER));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, test_key_ + L"\\victim", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, test_key_ + L"\\other", KEY_WOW64_32KEY));
  test::LogTail log;
  EXPECT_TRUE(DeleteRegistryKey(test_key_ + L"\\missing", L"victim", HKEY_CURRENT_USER));
  EXPECT_TRUE(DeleteRegistryKey(test_key_, L"victim", HKEY_CURRENT_USER));
  EXPECT_EQ(log.Appended(), "");
}

using FindPreviousInstallationsTest = RegistryCase;

TEST_F(FindPreviousInstallationsTest, NoEntriesLeavesBothEmptyAndTheMachineRoot) {
  const PreviousInstallations found = FindPreviousInstallations();
  EXPECT_EQ(found.uninstall_v49, L"");
  EXPECT_EQ(found.uninstall_v50, L"");
  EXPECT_EQ(found.root_key_v50, HKEY_LOCAL_MACHINE);
}

TEST_F(FindPreviousInstallationsTest, UserEntryWinsOverTheMachineEntry) {
  SetText(HKEY_CURRENT_USER, kUninstallKeyV49, L"UninstallString", L"D:\\orvek\\\\uninstall.exe");
  SetText(HKEY_CURRENT_USER, kUninstallKeyV50, L"UninstallString", L"C:\\user\\orvek\\u.exe");
  SetText(HKEY_LOCAL_MACHINE, kUninstallKeyV50, L"UninstallString", L"C:\\machine\\orvek\\u.exe");
  const PreviousInstallations found = FindPreviousInstallations();
  EXPECT_EQ(found.uninstall_v49, L"D:\\orvek\\\\");
  EXPECT_EQ(found.uninstall_v50, L"C:\\user\\orvek\\");
  EXPECT_EQ(found.root_key_v50, HKEY_CURRENT_USER);
}

TEST_F(FindPreviousInstallationsTest, MachineEntryIsCutAtItsDriveLetter) {
  SetText(HKEY_LOCAL_MACHINE, kUninstallKeyV50, L"UninstallString",
          L"\"C:\\Program Files\\orvek\\unins000.exe\" /SILENT");
  PreviousInstallations found = FindPreviousInstallations();
  EXPECT_EQ(found.uninstall_v50, L"C:\\Program Files\\orvek\\");
  EXPECT_EQ(found.root_key_v50, HKEY_LOCAL_MACHINE);

  SetText(HKEY_LOCAL_MACHINE, kUninstallKeyV50, L"UninstallString", L":\\orvek\\u.exe");
  EXPECT_EQ(FindPreviousInstallations().uninstall_v50, L":\\orvek\\");
}

TEST_F(FindPreviousInstallationsTest, ValueThatIsNoTextReadsAsEmptyWithOneLine) {
  const DWORD number = 1;
  SetValue(HKEY_CURRENT_USER, kUninstallKeyV49, L"UninstallString", REG_DWORD, &number,
           sizeof number);
  test::LogTail log;
  EXPECT_EQ(FindPreviousInstallations().uninstall_v49, L"");
  EXPECT_TRUE(Has(log.Appended(), L"registry value is not a string, " +
                                      std::wstring(kUninstallKeyV49) + L"\\UninstallString"))
      << log.Appended();
}

class RemoveInstallationTest : public RegistryCase {
 protected:
  std::wstring MakeLocation(const std::wstring& name) {
    ::CreateDirectoryW(tree_(name).c_str(), nullptr);
    ::CreateDirectoryW(tree_(name + L"\\bin").c_str(), nullptr);
    WriteText(tree_(name + L"\\bin\\orvekclient.exe"), "exe");
    WriteText(tree_(name + L"\\app.cfg"), "server=school");
    return tree_(name) + L"\\";
  }
  const std::wstring backup_ = GetTempDirectory() + L"orvekteacher.cfg";
  test::TestTree tree_;
};

TEST_F(RemoveInstallationTest, V50KeysGoEvenWhenTheLocationIsRefused) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetText(root, kUninstallKeyV50 + std::wstring(L"\\sub"), L"v", L"x");
    SetText(root, kProductKey + L"\\a\\b", L"v", L"x");
  }
  const std::wstring refused = MakeLocation(L"Orvek");
  test::LogTail log;
  UpgradeSteps steps;
  RemoveInstallationV50(refused, HKEY_CURRENT_USER, steps, kConfigurationBackup);
  steps.CompleteAll();
  ::DeleteFileW(backup_.c_str());
  EXPECT_EQ(ReadText(refused + L"app.cfg"), "server=school");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKeyV50, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey, KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKeyV50, KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY));
  const std::string text = log.Appended();
  for (const std::wstring& line :
       {L"begin to uninstall oldversion " + refused,
        L"DelDir failed, the dir is not contain orvek, " + refused, std::wstring(L"uninstall oldversion end"),
        std::wstring(L"begin to delete v5.0 registry."), std::wstring(L"end delete v5.0 registry.")}) {
    EXPECT_TRUE(Has(text, line)) << base::Utf8FromWide(line) << "\n" << text;
  }
}

TEST_F(RemoveInstallationTest, V49BacksUpTheConfigurationAndDeletesTheDriveShortcut) {
  ::CreateDirectoryW(tree_(L"drive").c_str(), nullptr);
  const test::ScopedDrive drive(L'R', tree_(L"drive"));
  ::CreateDirectoryW(L"R:\\orvek", nullptr);
  WriteText(L"R:\\orvek\\app.cfg", "server=school");
  WriteText(L"R:\\orvek\\orvekclient.exe", "exe");
  WriteText(L"R:\\Orvek教师客户端.lnk", "lnk");
  ::DeleteFileW(backup_.c_str());

  test::LogTail log;
  UpgradeSteps steps;
  RemoveInstallationV49(L"R:\\orvek\\", steps, kConfigurationBackup);
  steps.CompleteAll();
  EXPECT_EQ(ReadText(backup_), "server=school");
  EXPECT_FALSE(Exists(L"R:\\orvek\\app.cfg"));
  EXPECT_FALSE(Exists(L"R:\\orvek\\orvekclient.exe"));
  EXPECT_TRUE(Exists(L"R:\\orvek"));
  EXPECT_FALSE(Exists(L"R:\\Orvek教师客户端.lnk"));
  EXPECT_TRUE(Has(log.Appended(), L"begin to uninstall oldversion R:\\orvek\\")) << log.Appended();
  EXPECT_TRUE(Has(log.Appended(), L"uninstall oldversion end")) << log.Appended();
  ::DeleteFileW(backup_.c_str());
}

// The temporary folder is the user's: a link planted at the backup's name
// must not carry the administrator's copy into another file.
TEST_F(RemoveInstallationTest, BackupReplacesALinkInsteadOfWritingThroughIt) {
  WriteText(tree_(L"target.txt"), "not yours");
  for (const bool symbolic : {true, false}) {
    SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
    ::DeleteFileW(backup_.c_str());
    if (symbolic) {
      test::MakeSymbolicLink(backup_, tree_(L"target.txt"));
    } else {
      test::MakeHardLink(backup_, tree_(L"target.txt"));
    }
    const std::wstring location = MakeLocation(symbolic ? L"orvek1" : L"orvek2");
    UpgradeSteps steps;
    RemoveInstallationV49(location, steps, kConfigurationBackup);
    steps.CompleteAll();
    EXPECT_EQ(ReadText(tree_(L"target.txt")), "not yours");
    EXPECT_EQ(ReadText(backup_), "server=school");
  }
  ::DeleteFileW(backup_.c_str());
}

}  // namespace
}  // namespace orvek::system
