#include "system/identity/machine_identity.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "support/log_tail.h"
#include "system/identity/machine_identity_rules.h"
#include "system/identity/wmi_query.h"

namespace orvek::system {
namespace {

std::string Narrow(const std::wstring& text) { return base::Utf8FromWide(text); }

bool Matches(const std::wstring& text, const char* pattern) {
  return std::regex_match(Narrow(text), std::regex(pattern));
}

// One value of the BIOS key set for a test; the empty string Wine keeps
// there is put back afterwards.
class BiosValue {
 public:
  explicit BiosValue(const wchar_t* name) : name_(name) {
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\BIOS", 0,
                              KEY_SET_VALUE, key_.put()),
              ERROR_SUCCESS);
  }
  ~BiosValue() { SetText(L""); }
  void SetText(const std::wstring& text) {
    ::RegSetValueExW(key_.get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetNumber(DWORD number) {
    ::RegSetValueExW(key_.get(), name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
  }

 private:
  const wchar_t* name_;
  base::UniqueKey key_;
};

DWORD_PTR ProcessAffinity() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  EXPECT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system));
  return process;
}

TEST(ClientIdTest, FortyHexDigitsStableAcrossRunsAndMadeOfTheParts) {
  const std::wstring first = ComputeClientId();
  EXPECT_TRUE(Matches(first, "[0-9A-F]{40}")) << Narrow(first);
  EXPECT_EQ(ComputeClientId(), first);
  EXPECT_EQ(first, ClientIdFromParts(GetSystemVolumeSerial(), GetCpuInfo().cpuId, GetMacAddresses()));
}

TEST(ClientIdTest, FollowsTheVolumeSerialWrittenInDecimal) {
  const std::wstring real = ComputeClientId();
  EXPECT_TRUE(Matches(GetSystemVolumeSerial(), "[1-9][0-9]*")) << Narrow(GetSystemVolumeSerial());
  SetVolumeSerialForTesting(0x1234ABCD);
  EXPECT_EQ(GetSystemVolumeSerial(), L"305441741");
  const std::wstring before = ComputeClientId();
  EXPECT_NE(before, real);
  // The top bit set still reads as a positive number.
  SetVolumeSerialForTesting(0x8000ABCD);
  EXPECT_EQ(GetSystemVolumeSerial(), L"2147527629");
  EXPECT_NE(ComputeClientId(), before);
  SetVolumeSerialForTesting(0x1234ABCD);
  EXPECT_EQ(ComputeClientId(), before);
  SetVolumeSerialForTesting(std::nullopt);
  EXPECT_EQ(ComputeClientId(), real);
}

TEST(CpuInfoTest, SameIdEveryTimeAndAffinityRestored) {
  const DWORD_PTR before = ProcessAffinity();
  test::LogTail log;
  const TCpuInfo info = GetCpuInfo();
  EXPECT_EQ(ProcessAffinity(), before);
  EXPECT_TRUE(Matches(info.cpuId, "[0-9A-F]{8}")) << Narrow(info.cpuId);
  EXPECT_FALSE(info.cpuInfo.empty());
  EXPECT_EQ(info.cpuInfo, GetProcessorName());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GetCpuInfo().cpuId, info.cpuId);
  EXPECT_EQ(ProcessAffinity(), before);
  EXPECT_EQ(log.Appended(), "");
}

TEST(MacAddressesTest, TwelveDigitsPerAdapter) {
  const std::wstring macs = GetMacAddresses();
  EXPECT_TRUE(Matches(macs, "([0-9A-F]{12}(;[0-9A-F]{12})*)?")) << Narrow(macs);
  EXPECT_EQ(GetMacAddresses(), macs);
}

TEST(WmiTest, FailedQueryLogsItsLineAndGivesWhatWasCollected) {
  test::LogTail log;
  EXPECT_TRUE(GetWMIProperty(L"win32_Bios", L"NoSuchProperty", L"", 0).empty());
  EXPECT_NE(log.Appended().find("GetWMIProperty error, WMIType:win32_Bios, WMIProperty: NoSuchProperty, msg:"),
            std::string::npos)
      << log.Appended();
}

TEST(WmiTest, MonitorQueryThatWineRejectsGivesUnknown) {
  test::LogTail log;
  EXPECT_EQ(GetMonitorIds(), L"unknown");
  EXPECT_NE(log.Appended().find("GetWMIProperty error, WMIType:win32_pnpentity, WMIProperty: DeviceID, msg:"),
            std::string::npos)
      << log.Appended();
}

TEST(WmiTest, LimitCountsValuesInEnumerationOrder) {
  const std::vector<std::wstring> all = GetWMIProperty(L"Win32_Process", L"Name", L"", 0);
  ASSERT_GE(all.size(), 3u);
  const std::vector<std::wstring> two = GetWMIProperty(L"Win32_Process", L"Name", L"", 2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0], all[0]);
  EXPECT_EQ(GetFirstWMIProperty(L"Win32_Process", L"Name", L""), all[0]);
  EXPECT_TRUE(GetFirstWMIProperty(L"Win32_Process", L"Name", L"where Name='no such process'").empty());
}

// Wine knows the command line of the asking process only; every other
// process's is null.
TEST(WmiTest, NullValuesAreSkippedAndDoNotCount) {
  const std::vector<std::wstring> names = GetWMIProperty(L"Win32_Process", L"Name", L"", 0);
  const std::vector<std::wstring> lines = GetWMIProperty(L"Win32_Process", L"CommandLine", L"", 0);
  ASSERT_FALSE(lines.empty());
  EXPECT_LT(lines.size(), names.size());
  EXPECT_EQ(GetFirstWMIProperty(L"Win32_Process", L"CommandLine", L""), lines[0]);
  EXPECT_NE(lines[0].find(L"system_win_test"), std::wstring::npos) << Narrow(lines[0]);
}

TEST(WmiTest, WorksInsideTheCallersApartment) {
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_FALSE(GetBaseBoardManufacturer().empty());
  ::CoUninitialize();
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_FALSE(GetBiosManufacturer().empty());
  ::CoUninitialize();
}

TEST(DeviceInfoTest, ManufacturerCommaCleanedFamily) {
  BiosValue family(L"SystemFamily");
  family.SetText(L"Think,Pad, T480");
  const std::wstring board = GetBaseBoardManufacturer();
  EXPECT_EQ(board.find(L','), std::wstring::npos);
  EXPECT_EQ(ComputeDeviceInfo(), board + L",Think Pad  T480");

  family.SetText(L"");
  EXPECT_EQ(ComputeDeviceInfo(), board + L",unknown");
}

TEST(DeviceInfoTest, FamilyOfAnotherTypeReadsAsEmptyAndIsLogged) {
  BiosValue family(L"SystemFamily");
  BiosValue version(L"BIOSVersion");
  family.SetNumber(7);
  version.SetText(L"1.0.7");
  test::LogTail log;
  const TBios bios = GetBiosInfo();
  EXPECT_EQ(bios.Name, L"unknown");
  EXPECT_EQ(bios.Version, L"1.0.7");
  EXPECT_FALSE(bios.SystemManufacturer.empty());
  EXPECT_NE(log.Appended().find("registry value is not a string, "
                                "HARDWARE\\DESCRIPTION\\System\\BIOS\\SystemFamily"),
            std::string::npos)
      << log.Appended();
}

}  // namespace
}  // namespace orvek::system
