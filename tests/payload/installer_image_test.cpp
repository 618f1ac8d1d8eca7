// The post-link layout step, as a function and as the orvek-pe-layout program.
#include "pe/installer_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/tool_files.h"
#include "payload/byte_order.h"
#include "payload/pe_image.h"
#include "tool_test_files.h"

namespace orvek::tools {
namespace {

using namespace orvek::payload;
using test::Bytes;
using test::Quote;
using test::ReadBytes;
using test::RunCommand;
using test::SamplePath;
using test::TempDir;

std::string RefusalOf(Bytes image) {
  try {
    PrepareInstallerImage(image);
  } catch (const ToolError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(PrepareInstallerImage, MovesTheHeadersTo256AndKeepsTheChecksumRight) {
  for (const char* name : {"linked", "linked32"}) {
    Bytes image = ReadBytes(SamplePath(name));
    const InstallerImageChanges changes = PrepareInstallerImage(image);
    EXPECT_TRUE(changes.headers_moved);
    EXPECT_EQ(changes.symbol_bytes_removed, 0u);
    const PeHeaders h = ParsePeHeaders(image);
    EXPECT_EQ(h.pe_offset, 256u);
    EXPECT_TRUE(std::all_of(image.begin() + 128, image.begin() + 256, [](auto b) { return b == 0; }));
    EXPECT_EQ(image.size(), h.raw_data_end());
    EXPECT_EQ(h.checksum, ComputePeChecksum(image)) << name;
  }
}

TEST(PrepareInstallerImage, RunningItAgainChangesNothing) {
  Bytes image = ReadBytes(SamplePath("linked"));
  PrepareInstallerImage(image);
  const Bytes once = image;
  const InstallerImageChanges changes = PrepareInstallerImage(image);
  EXPECT_FALSE(changes.headers_moved);
  EXPECT_EQ(image, once);
}

TEST(PrepareInstallerImage, DropsASymbolTable) {
  Bytes image = ReadBytes(SamplePath("symbols"));
  const std::uint64_t image_end = ParsePeHeaders(image).raw_data_end();
  const InstallerImageChanges changes = PrepareInstallerImage(image);
  EXPECT_GT(changes.symbol_bytes_removed, 0u);
  EXPECT_EQ(image.size(), image_end);
  EXPECT_EQ(ParsePeHeaders(image).pe_offset, 256u);
}

TEST(PrepareInstallerImage, RefusesWhatItCannotLayOut) {
  EXPECT_NE(RefusalOf(ReadBytes(SamplePath("debug"))).find("link with -s"), std::string::npos);

  Bytes trailing = ReadBytes(SamplePath("linked"));
  trailing.insert(trailing.end(), {'7', 'z', 0xBC, 0xAF});
  EXPECT_NE(RefusalOf(trailing).find("4 bytes follow the last section"), std::string::npos)
      << RefusalOf(trailing);

  Bytes signed_image = ReadBytes(SamplePath("linked"));
  const PeHeaders h = ParsePeHeaders(signed_image);
  StoreLe32(&signed_image[h.directory_position(kSecurityDirectory)], static_cast<std::uint32_t>(signed_image.size()));
  StoreLe32(&signed_image[h.directory_position(kSecurityDirectory) + 4], 8);
  EXPECT_NE(RefusalOf(signed_image).find("signed"), std::string::npos);

  Bytes long_stub = ReadBytes(SamplePath("linked"));
  PrepareInstallerImage(long_stub);
  long_stub[130] = 'x';
  EXPECT_NE(RefusalOf(long_stub).find("DOS stub reaches past 128"), std::string::npos);
}

TEST(PeLayoutTool, RewritesInPlaceKeepingTheMode) {
  TempDir dir;
  const auto exe = dir / "setup.exe";
  std::filesystem::copy_file(SamplePath("linked"), exe);
  ::chmod(exe.c_str(), 0751);
  const auto result = RunCommand(std::string(ORVEK_PE_LAYOUT_TOOL) + " " + Quote(exe));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(ParsePeHeaders(ReadBytes(exe)).pe_offset, 256u);
  EXPECT_EQ(FileMode(exe), 0751u);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"setup.exe"});
}

TEST(PeLayoutTool, RefusalLeavesTheFileAsItWas) {
  TempDir dir;
  const auto exe = dir / "setup.exe";
  std::filesystem::copy_file(SamplePath("debug"), exe);
  const auto result = RunCommand(std::string(ORVEK_PE_LAYOUT_TOOL) + " " + Quote(exe));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  EXPECT_NE(result.output.find("link with -s"), std::string::npos) << result.output;
  EXPECT_EQ(ReadBytes(exe), ReadBytes(SamplePath("debug")));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"setup.exe"});
}

TEST(PeLayoutTool, UsageErrors) {
  EXPECT_EQ(RunCommand(ORVEK_PE_LAYOUT_TOOL).status, 2);
  EXPECT_EQ(RunCommand(std::string(ORVEK_PE_LAYOUT_TOOL) + " a.exe b.exe").status, 2);
  EXPECT_EQ(RunCommand(std::string(ORVEK_PE_LAYOUT_TOOL) + " --help").status, 0);
}

}  // namespace
}  // namespace orvek::tools
