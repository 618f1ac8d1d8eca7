// The packing tool: a laid-out linked program + a version + a 7z archive made
// by the 7z tool => an installer file the reader's codec reads back.
#include "pack/installer_packer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "common/tool_files.h"
#include "payload/byte_order.h"
#include "payload/installer_file_layout.h"
#include "payload/pe_image.h"
#include "pe/installer_image.h"
#include "pe/pe_checks.h"
#include "tool_test_files.h"

namespace orvek::tools {
namespace {

namespace fs = std::filesystem;
using namespace orvek::payload;
using test::Bytes;
using test::Quote;
using test::ReadBytes;
using test::RunCommand;
using test::SamplePath;
using test::TempDir;
using test::WriteBytes;

std::wstring DecodeAscii(std::string_view bytes) { return std::wstring(bytes.begin(), bytes.end()); }

class PackTest : public testing::Test {
 protected:
  void SetUp() override {
    Bytes image = ReadBytes(SamplePath("linked32"));
    PrepareInstallerImage(image);
    WriteBytes(exe_, image);
    archive_ = test::Make7zArchive(dir_.path(), 300001);
    entries_ = dir_.Entries();
  }

  PackRequest Request() const { return {exe_, "v6.15.1", archive_, dir_ / "out.exe"}; }

  // Packs `request`, expects a refusal naming `fragment`, and nothing written.
  void ExpectRefused(const PackRequest& request, const std::string& fragment) {
    try {
      PackInstaller(request);
      ADD_FAILURE() << "accepted; expected a refusal with \"" << fragment << "\"";
    } catch (const ToolError& e) {
      EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line: " << e.what();
    }
    EXPECT_EQ(dir_.Entries(), entries_) << "a refused run leaves no file behind";
  }

  // A copy of the laid-out program changed by `edit`, as a new input file.
  fs::path EditedExe(const std::string& name, const std::function<void(Bytes&)>& edit) {
    Bytes image = ReadBytes(exe_);
    edit(image);
    WriteBytes(dir_ / name, image);
    entries_ = dir_.Entries();
    return dir_ / name;
  }

  TempDir dir_;
  fs::path exe_ = dir_ / "setup.exe";
  fs::path archive_;
  std::vector<std::string> entries_;
};

TEST_F(PackTest, RoundTripThroughTheReadersCodec) {
  const PackResult result = PackInstaller(Request());
  const Bytes exe = ReadBytes(exe_);
  const Bytes archive = ReadBytes(archive_);
  const Bytes packed = ReadBytes(dir_ / "out.exe");

  const InstallerFields fields = ReadInstallerFields(packed);
  EXPECT_EQ(fields.payload_offset, static_cast<std::int32_t>(exe.size()));
  EXPECT_EQ(result.payload_offset, fields.payload_offset);
  EXPECT_EQ(PackageVersionFromField(fields.version_field, DecodeAscii), L"v6.15.1");
  EXPECT_EQ(fields.version_field, std::string("v6.15.1\0\0\0\0", 11));

  ASSERT_EQ(packed.size() % 8, 0u) << "zero-padded to where a certificate table may start";
  ASSERT_GE(packed.size(), exe.size() + archive.size());
  EXPECT_LT(packed.size(), exe.size() + archive.size() + 8);
  EXPECT_EQ(result.size, packed.size());
  EXPECT_TRUE(std::equal(archive.begin(), archive.end(), packed.begin() + fields.payload_offset));
  EXPECT_TRUE(std::all_of(packed.begin() + exe.size() + archive.size(), packed.end(),
                          [](auto b) { return b == 0; }));

  const PeHeaders h = ParsePeHeaders(packed);
  EXPECT_EQ(h.checksum, ComputePeChecksum(packed));
  EXPECT_EQ(h.checksum, result.checksum);
  // Apart from the fields and the checksum, the program is unchanged.
  for (std::size_t i = 0; i < exe.size(); ++i) {
    const bool field = i >= kPayloadOffsetPosition && i < kFieldsEnd;
    const bool checksum = i >= h.checksum_position() && i < h.checksum_position() + 4;
    if (!field && !checksum && packed[i] != exe[i]) {
      ADD_FAILURE() << "byte " << i << " of the program changed";
      break;
    }
  }

  PeCheckOptions options;
  options.packed_layout = true;
  options.checksum = true;
  EXPECT_TRUE(CheckPeImage(packed, options).empty());
  EXPECT_EQ(FileMode(dir_ / "out.exe"), FileMode(exe_));
}

TEST_F(PackTest, TheArchiveBytesOpenWithTheirPadding) {
  PackInstaller(Request());
  const Bytes packed = ReadBytes(dir_ / "out.exe");
  const std::int32_t offset = ReadInstallerFields(packed).payload_offset;
  WriteBytes(dir_ / "tail.7z", Bytes(packed.begin() + offset, packed.end()));
  const auto tested = RunCommand(std::string(ORVEK_7Z_TOOL) + " t -pOrvekTest " + Quote(dir_ / "tail.7z"));
  EXPECT_EQ(tested.status, 0) << tested.output;
}

TEST_F(PackTest, RefusesBadVersions) {
  PackRequest request = Request();
  for (const auto& [version, fragment] : std::vector<std::pair<std::string, std::string>>{
           {"v6.15.1-rc12", "12 characters"},
           {"v6 15", "a blank at position 3"},
           {" v6.15", "a blank at position 1"},
           {"", "the version is empty"},
           {"v6.\xE9", "the byte 0xE9"}}) {
    request.version = version;
    ExpectRefused(request, fragment);
  }
}

TEST_F(PackTest, RefusesWhatIsNoIntact7zArchive) {
  PackRequest request = Request();
  request.archive = SamplePath("linked");
  ExpectRefused(request, "does not start with the 7z signature 37 7A BC AF 27 1C");

  const Bytes archive = ReadBytes(archive_);
  WriteBytes(dir_ / "cut.7z", Bytes(archive.begin(), archive.begin() + archive.size() / 2));
  Bytes damaged = archive;
  damaged[20] ^= 0x01;
  WriteBytes(dir_ / "damaged.7z", damaged);
  WriteBytes(dir_ / "tiny.7z", Bytes(archive.begin(), archive.begin() + 6));
  entries_ = dir_.Entries();

  request.archive = dir_ / "cut.7z";
  ExpectRefused(request, "truncated 7z archive");
  request.archive = dir_ / "damaged.7z";
  ExpectRefused(request, "fails its CRC");
  request.archive = dir_ / "tiny.7z";
  ExpectRefused(request, "start header is incomplete");
  request.archive = dir_ / "missing.7z";
  ExpectRefused(request, "cannot read");
}

TEST_F(PackTest, RefusesExecutablesThatCannotTakeTheFields) {
  PackRequest request = Request();
  request.exe = SamplePath("linked");
  ExpectRefused(request, "the PE header at 128 overlaps the installer fields");

  request.exe = EditedExe("packed.exe", [](Bytes& image) { image[kVersionPosition] = 'v'; });
  ExpectRefused(request, "offsets 128..142 are not zero");

  request.exe = EditedExe("appended.exe", [](Bytes& image) { image.resize(image.size() + 100, 0); });
  ExpectRefused(request, "100 bytes follow the image");

  request.exe = EditedExe("signed.exe", [](Bytes& image) {
    const PeHeaders h = ParsePeHeaders(image);
    StoreLe32(&image[h.directory_position(kSecurityDirectory)], static_cast<std::uint32_t>(image.size()));
    StoreLe32(&image[h.directory_position(kSecurityDirectory) + 4], 1472);
  });
  ExpectRefused(request, "it is signed (certificate table of 1472 bytes)");

  request.exe = dir_ / "missing.exe";
  ExpectRefused(request, "cannot read");
}

TEST_F(PackTest, RefusesAnInstallerOf2GiBOrMore) {
  const Bytes archive = ReadBytes(archive_);
  // A sparse file that looks like a 2 GiB archive costs no disk space.
  const fs::path huge = dir_ / "huge.7z";
  WriteBytes(huge, Bytes(archive.begin(), archive.begin() + 32));
  fs::resize_file(huge, 0x80000000ull);
  entries_ = dir_.Entries();
  PackRequest request = Request();
  request.archive = huge;
  ExpectRefused(request, "must stay below 2 GiB");
}

TEST_F(PackTest, ARefusalLeavesAnExistingOutputAlone) {
  WriteBytes(dir_ / "out.exe", Bytes{'o', 'l', 'd'});
  entries_ = dir_.Entries();
  PackRequest request = Request();
  request.version = "far too long a version";
  ExpectRefused(request, "characters");
  EXPECT_EQ(ReadBytes(dir_ / "out.exe"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(PackTest, CommandLine) {
  const std::string tool = ORVEK_PACK_TOOL;
  const std::string args = " --exe " + Quote(exe_) + " --archive " + Quote(archive_) + " -o " +
                           Quote(dir_ / "cli.exe");

  const auto packed = RunCommand(tool + args + " --version v6.15.1");
  EXPECT_EQ(packed.status, 0) << packed.output;
  EXPECT_EQ(ReadInstallerFields(ReadBytes(dir_ / "cli.exe")).version_field, std::string("v6.15.1\0\0\0\0", 11));

  const auto refused = RunCommand(tool + args + " --version 'v6 15'");
  EXPECT_EQ(refused.status, 1) << refused.output;
  EXPECT_EQ(refused.output.rfind("orvek-pack: version \"v6 15\": ", 0), 0u) << refused.output;
  EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;

  for (const std::string& bad : {args, args + " --version", args + " --version v1 --level 9"}) {
    const auto usage = RunCommand(tool + bad);
    EXPECT_EQ(usage.status, 2) << bad << "\n" << usage.output;
    EXPECT_NE(usage.output.find("usage: orvek-pack"), std::string::npos);
  }
  const auto help = RunCommand(tool + " --help 2>/dev/null");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("usage: orvek-pack"), std::string::npos);
}

}  // namespace
}  // namespace orvek::tools
