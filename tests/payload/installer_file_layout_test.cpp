#include "payload/installer_file_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvek::payload {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Windows-1252 and every other ANSI code page agree with Latin-1 on ASCII and
// the control range, which is all the trimming looks at.
std::wstring DecodeLatin1(std::string_view bytes) {
  std::wstring text;
  for (const char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

// The first 256 bytes of an installer file whose version field is `field`
// (written raw, as a hand-made or foreign file may hold it).
Bytes HeadWithVersionBytes(std::string_view field) {
  Bytes head(256, 0);
  std::copy(field.begin(), field.end(), head.begin() + kVersionPosition);
  return head;
}

std::wstring VersionOf(const Bytes& head) {
  return PackageVersionFromField(ReadInstallerFields(head).version_field, DecodeLatin1);
}

TEST(PayloadOffsetField, DecodesLittleEndianSigned) {
  const std::uint8_t five_mib[] = {0x00, 0x00, 0x50, 0x00};
  const std::uint8_t all_ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
  const std::uint8_t low_byte[] = {0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(DecodePayloadOffset(five_mib), 5242880);
  EXPECT_EQ(DecodePayloadOffset(all_ones), -1);
  EXPECT_EQ(DecodePayloadOffset(low_byte), 1);
}

TEST(PayloadOffsetField, EncodingRoundTrips) {
  for (const std::int32_t value : {0, 1, 14848, 5242880, 0x7FFFFFFF, -1}) {
    EXPECT_EQ(DecodePayloadOffset(EncodePayloadOffset(value)), value);
  }
  EXPECT_EQ(EncodePayloadOffset(5242880), (std::array<std::uint8_t, 4>{0x00, 0x00, 0x50, 0x00}));
}

TEST(VersionField, TextFollowedByZerosReadsAsTheText) {
  EXPECT_EQ(VersionOf(HeadWithVersionBytes(std::string_view("v6.15.1\0\0\0\0", 11))), L"v6.15.1");
}

TEST(VersionField, ElevenCharactersNeedNoTerminator) {
  Bytes head = HeadWithVersionBytes("v6.15.1-b22");
  head[kFieldsEnd] = 'X';  // whatever follows is not part of the version
  EXPECT_EQ(VersionOf(head), L"v6.15.1-b22");
}

TEST(VersionField, ElevenZeroBytesReadAsEmpty) {
  EXPECT_EQ(VersionOf(HeadWithVersionBytes(std::string(11, '\0'))), L"");
}

TEST(VersionField, BlanksAndControlsAreTrimmedAtBothEnds) {
  EXPECT_EQ(VersionOf(HeadWithVersionBytes(std::string_view(" v6.15.1\0\0\0", 11))), L"v6.15.1");
  EXPECT_EQ(VersionOf(HeadWithVersionBytes("\t\r\nv6.1 \x1f\x7f")), L"v6.1 \x1f\x7f")
      << "only characters at or below U+0020 are trimmed";
}

TEST(VersionField, ZeroBetweenCharactersStaysInside) {
  EXPECT_EQ(VersionOf(HeadWithVersionBytes(std::string_view("v6\0.1\0\0\0\0\0\0", 11))),
            std::wstring(L"v6\0.1", 5));
}

TEST(VersionField, TwelveCharactersWrittenByHandReadAsTheFirstEleven) {
  EXPECT_EQ(VersionOf(HeadWithVersionBytes("v6.15.1-rc12")), L"v6.15.1-rc1");
}

TEST(VersionField, ReaderAlwaysReturnsAllElevenBytes) {
  const InstallerFields fields = ReadInstallerFields(HeadWithVersionBytes("v1"));
  EXPECT_EQ(fields.version_field, std::string("v1\0\0\0\0\0\0\0\0\0", 11));
}

TEST(VersionText, AcceptsOneToElevenPrintableCharacters) {
  EXPECT_EQ(VersionTextProblem("v6.15.1"), "");
  EXPECT_EQ(VersionTextProblem("1"), "");
  EXPECT_EQ(VersionTextProblem("!~v6.15.1-b"), "");
}

TEST(VersionText, RefusesWhatTheReaderWouldNotGiveBack) {
  EXPECT_EQ(VersionTextProblem(""), "the version is empty");
  EXPECT_NE(VersionTextProblem("v6.15.1-rc12").find("12 characters"), std::string::npos);
  EXPECT_NE(VersionTextProblem(" v6").find("a blank at position 1"), std::string::npos);
  EXPECT_NE(VersionTextProblem("v6 beta").find("a blank at position 3"), std::string::npos);
  EXPECT_NE(VersionTextProblem("v6\t").find("the byte 0x09 at position 3"), std::string::npos);
  EXPECT_NE(VersionTextProblem(std::string_view("v\0", 2)).find("0x00"), std::string::npos);
  EXPECT_NE(VersionTextProblem("v\xE9").find("0xE9"), std::string::npos);
  EXPECT_NE(VersionTextProblem("v\x7F").find("0x7F"), std::string::npos);
}

TEST(VersionText, EncodingZeroFillsAndRefusesBadText) {
  const auto field = EncodeVersionField("v6.15.1");
  EXPECT_EQ(std::string(field.begin(), field.end()), std::string("v6.15.1\0\0\0\0", 11));
  EXPECT_THROW(EncodeVersionField("v6.15.1-rc12"), InstallerLayoutError);
}

TEST(InstallerFields, WriteThenReadRoundTrips) {
  Bytes head(kFieldsEnd + 1, 0xAA);
  WriteInstallerFields(head, 5242880, "v6.15.1");
  const InstallerFields fields = ReadInstallerFields(head);
  EXPECT_EQ(fields.payload_offset, 5242880);
  EXPECT_EQ(PackageVersionFromField(fields.version_field, DecodeLatin1), L"v6.15.1");
  EXPECT_EQ(head[kPayloadOffsetPosition - 1], 0xAA) << "bytes before the fields stay";
  EXPECT_EQ(head[kFieldsEnd], 0xAA) << "bytes after the fields stay";
}

TEST(InstallerFields, ShortFileIsRefused) {
  Bytes head(kFieldsEnd - 1, 0);
  EXPECT_THROW(ReadInstallerFields(head), InstallerLayoutError);
  EXPECT_THROW(WriteInstallerFields(head, 1, "v1"), InstallerLayoutError);
}

}  // namespace
}  // namespace orvek::payload
