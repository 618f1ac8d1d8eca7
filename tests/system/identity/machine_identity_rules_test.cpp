#include "system/identity/machine_identity_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "system/identity/sha1.h"

namespace orvek::system {
namespace {

TEST(CleanValueTest, CommasBecomeBlanksAndEmptyBecomesUnknown) {
  EXPECT_EQ(CleanValue(L""), L"unknown");
  EXPECT_EQ(CleanValue(L"Micro,Star"), L"Micro Star");
  EXPECT_EQ(CleanValue(L"Micro, Star,,"), L"Micro  Star  ");
  EXPECT_EQ(CleanValue(L" "), L" ");
  EXPECT_EQ(CleanWmiValue(L" \t\r\n "), L"unknown");
  EXPECT_EQ(CleanWmiValue(L"\tASUSTeK, Inc.\r\n"), L"ASUSTeK  Inc.");
  EXPECT_EQ(CleanWmiValue(L"Dell Inc."), L"Dell Inc.");
}

TEST(WmiQueryTextTest, FilledInAsGivenBlanksIncluded) {
  EXPECT_EQ(WmiQueryText(L"Manufacturer", L"win32_Bios", L""),
            L"select Manufacturer from win32_Bios ");
  EXPECT_EQ(WmiQueryText(L"DeviceID", L"win32_pnpentity", L" where service='monitor'"),
            L"select DeviceID from win32_pnpentity  where service='monitor'");
}

TEST(JoinMonitorIdsTest, OneCommaBetweenAndNothingAround) {
  EXPECT_EQ(JoinMonitorIds({}), L"unknown");
  EXPECT_EQ(JoinMonitorIds({L"DISPLAY\\A\\1"}), L"DISPLAY\\A\\1");
  EXPECT_EQ(JoinMonitorIds({L"DISPLAY\\A\\1", L"DISPLAY\\B\\2"}), L"DISPLAY\\A\\1,DISPLAY\\B\\2");
  // A cleaned identifier keeps its place even when it is the only text there.
  EXPECT_EQ(JoinMonitorIds({CleanWmiValue(L"DISPLAY\\X,Y"), CleanWmiValue(L" ")}),
            L"DISPLAY\\X Y,unknown");
}

TEST(RegisterSumHexTest, WrapsAtThirtyTwoBitsAndKeepsEightDigits) {
  EXPECT_EQ(RegisterSumHex(0, 0, 0, 0), L"00000000");
  EXPECT_EQ(RegisterSumHex(0x000306A9, 0x02100800, 0x7FBAE3FF, 0xBFEBFBFF), L"41B9EEA7");
  EXPECT_EQ(RegisterSumHex(0xFFFFFFFF, 2, 0, 0), L"00000001");
  EXPECT_EQ(RegisterSumHex(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), L"FFFFFFFC");
  EXPECT_EQ(RegisterSumHex(0xA, 0, 0, 0), L"0000000A");
}

TEST(JoinAdapterAddressesTest, TwelveDigitsEachSemicolonBetween) {
  EXPECT_EQ(JoinAdapterAddresses({}), L"");
  EXPECT_EQ(JoinAdapterAddresses({{0x00, 0x1B, 0x0A, 0xC4, 0xFF, 0x05}}), L"001B0AC4FF05");
  EXPECT_EQ(JoinAdapterAddresses({{0x52, 0x54, 0x00, 0x12, 0x34, 0x56}, {0, 0, 0, 0, 0, 1}}),
            L"525400123456;000000000001");
}

TEST(ClientIdFromPartsTest, HashOfTheConcatenatedAsciiText) {
  const std::wstring id = ClientIdFromParts(L"3456789012", L"ABCDEF01", L"001122AABBCC;0A0B0C0D0E0F");
  EXPECT_EQ(id, L"D8C09934E026A7C7EFF39A32596E747F1F10C342");
  EXPECT_EQ(id, Sha1Hex("3456789012ABCDEF01001122AABBCC;0A0B0C0D0E0F"));
  // A part that could not be read is simply missing from the text.
  EXPECT_EQ(ClientIdFromParts(L"", L"ABCDEF01", L""), Sha1Hex("ABCDEF01"));
  EXPECT_NE(ClientIdFromParts(L"3456789013", L"ABCDEF01", L"001122AABBCC;0A0B0C0D0E0F"), id);
}

TEST(Sha1Test, StandardVectorsAcrossThePaddingBoundaries) {
  EXPECT_EQ(Sha1Hex(""), L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
  EXPECT_EQ(Sha1Hex("abc"), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            L"84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
  EXPECT_EQ(Sha1Hex(std::string(55, 'a')), L"C1C8BBDC22796E28C0E15163D20899B65621D65A");
  EXPECT_EQ(Sha1Hex(std::string(56, 'a')), L"C2DB330F6083854C99D4B5BFB6E8F29F201BE699");
  EXPECT_EQ(Sha1Hex(std::string(64, 'a')), L"0098BA824B5C16427BD7A1122A5A442A25EC644D");
  EXPECT_EQ(Sha1Hex(std::string(1000000, 'a')), L"34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

}  // namespace
}  // namespace orvek::system
