// PE header reading and rewriting on programs the mingw linkers just wrote.
#include "payload/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "payload/byte_order.h"
#include "tool_test_files.h"

namespace orvek::payload {
namespace {

using tools::test::Bytes;
using tools::test::ReadBytes;
using tools::test::SamplePath;

// The checksum as the PE format describes it, word by word with the carry
// folded back after every addition: an independent check of the one-pass sum.
std::uint32_t WordByWordChecksum(const Bytes& file, std::size_t checksum_position) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    std::uint32_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    if (i >= checksum_position && i < checksum_position + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<std::uint32_t>(file.size());
}

TEST(PeHeaders, ReadsWhatTheLinkersWrote) {
  const Bytes image64 = ReadBytes(SamplePath("linked"));
  const PeHeaders h64 = ParsePeHeaders(image64);
  EXPECT_EQ(h64.machine, kMachineAmd64);
  EXPECT_TRUE(h64.pe32_plus);
  EXPECT_EQ(h64.subsystem, kSubsystemWindowsGui);
  EXPECT_EQ(h64.pe_offset, 128u) << "GNU ld's place, which the layout step changes";
  EXPECT_EQ(h64.file_alignment, 512u);
  EXPECT_EQ(h64.raw_data_end(), image64.size()) << "a stripped image ends with its last section";
  EXPECT_NE(h64.directory(kImportDirectory).size, 0u);
  EXPECT_EQ(h64.directory(kSecurityDirectory).size, 0u);

  const Bytes image32 = ReadBytes(SamplePath("linked32"));
  const PeHeaders h32 = ParsePeHeaders(image32);
  EXPECT_EQ(h32.machine, kMachineI386);
  EXPECT_FALSE(h32.pe32_plus);
  EXPECT_EQ(h32.image_base, 0x400000u);
  EXPECT_EQ(h32.raw_data_end(), image32.size());
}

TEST(PeHeaders, RefusesFilesThatAreNoImage) {
  const Bytes image = ReadBytes(SamplePath("linked"));
  const PeHeaders h = ParsePeHeaders(image);
  EXPECT_THROW(ParsePeHeaders(Bytes{}), PeFormatError);
  EXPECT_THROW(ParsePeHeaders(Bytes(512, 'M')), PeFormatError);

  Bytes far_header = image;
  StoreLe32(&far_header[60], static_cast<std::uint32_t>(image.size()));
  EXPECT_THROW(ParsePeHeaders(far_header), PeFormatError);

  Bytes cut_in_section_table(image.begin(), image.begin() + h.headers_end() - 10);
  EXPECT_THROW(ParsePeHeaders(cut_in_section_table), PeFormatError);

  Bytes cut_in_raw_data(image.begin(), image.end() - 1);
  try {
    ParsePeHeaders(cut_in_raw_data);
    FAIL() << "a truncated last section was accepted";
  } catch (const PeFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("past the end of the file"), std::string::npos) << e.what();
  }
}

TEST(PeChecksum, EqualsWhatTheLinkerStored) {
  for (const char* name : {"linked", "linked32", "symbols", "debug"}) {
    const Bytes image = ReadBytes(SamplePath(name));
    EXPECT_EQ(ComputePeChecksum(image), ParsePeHeaders(image).checksum) << name;
  }
}

TEST(PeChecksum, PiecesOfAnySizeGiveTheSameSum) {
  const Bytes image = ReadBytes(SamplePath("linked32"));
  const std::size_t position = ParsePeHeaders(image).checksum_position();
  for (const std::size_t piece : {1u, 3u, 4095u}) {
    PeChecksum checksum(position);
    for (std::size_t at = 0; at < image.size(); at += piece) {
      checksum.Update(std::span(image).subspan(at, std::min(piece, image.size() - at)));
    }
    EXPECT_EQ(checksum.Finish(), ComputePeChecksum(image)) << "pieces of " << piece;
  }
}

TEST(PeChecksum, AgreesWithTheWordByWordSumOnOddLengthsAndCarries) {
  Bytes image = ReadBytes(SamplePath("linked"));
  image.insert(image.end(), 100001, 0xFF);  // many carries, odd length
  const std::size_t position = ParsePeHeaders(image).checksum_position();
  EXPECT_EQ(ComputePeChecksum(image), WordByWordChecksum(image, position));

  std::fill(image.begin() + position, image.begin() + position + 4, 0xAB);
  EXPECT_EQ(ComputePeChecksum(image), WordByWordChecksum(image, position))
      << "the stored field itself is not summed";
}

TEST(RelocatePeHeaders, MovesTheHeadersAndNothingElse) {
  for (const char* name : {"linked", "linked32"}) {
    const Bytes original = ReadBytes(SamplePath(name));
    const PeHeaders before = ParsePeHeaders(original);
    Bytes moved = original;
    RelocatePeHeaders(moved, 256);
    const PeHeaders after = ParsePeHeaders(moved);

    EXPECT_EQ(LoadLe32(&moved[60]), 256u) << name;
    const std::size_t size = before.headers_end() - before.pe_offset;
    EXPECT_TRUE(std::equal(original.begin() + before.pe_offset, original.begin() + before.headers_end(),
                           moved.begin() + 256))
        << name;
    EXPECT_TRUE(std::all_of(moved.begin() + 128, moved.begin() + 256, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(moved.begin() + 256 + size, moved.begin() + before.size_of_headers,
                            [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 60, moved.begin())) << "DOS header";
    EXPECT_TRUE(std::equal(original.begin() + 64, original.begin() + 128, moved.begin() + 64)) << "DOS stub";
    EXPECT_TRUE(std::equal(original.begin() + before.size_of_headers, original.end(),
                           moved.begin() + before.size_of_headers))
        << "section data";
    EXPECT_EQ(after.sections.size(), before.sections.size());
    EXPECT_EQ(after.raw_data_end(), before.raw_data_end());
  }
}

TEST(RelocatePeHeaders, RefusesWhenTheHeadersWouldNotFit) {
  Bytes image = ReadBytes(SamplePath("linked"));
  const Bytes original = image;
  try {
    RelocatePeHeaders(image, 1024 - 8);
    FAIL() << "headers moved past SizeOfHeaders";
  } catch (const PeFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("do not fit"), std::string::npos) << e.what();
  }
  EXPECT_EQ(image, original);
}

TEST(RelocatePeHeaders, RefusesToCoverBytesThatAreInUse) {
  Bytes image = ReadBytes(SamplePath("linked"));
  image[ParsePeHeaders(image).headers_end() + 64] = 0x01;
  EXPECT_THROW(RelocatePeHeaders(image, 256), PeFormatError);

  Bytes bound_imports = ReadBytes(SamplePath("linked"));
  const PeHeaders h = ParsePeHeaders(bound_imports);
  StoreLe32(&bound_imports[h.directory_position(11)], 0x300);  // bound imports live in the headers
  StoreLe32(&bound_imports[h.directory_position(11) + 4], 0x20);
  EXPECT_THROW(RelocatePeHeaders(bound_imports, 256), PeFormatError);
}

TEST(StripCoffSymbols, DropsATableThatFollowsTheImage) {
  Bytes image = ReadBytes(SamplePath("symbols"));
  const PeHeaders before = ParsePeHeaders(image);
  ASSERT_NE(before.symbol_count, 0u);
  ASSERT_GT(image.size(), before.raw_data_end());

  const std::size_t length = image.size();
  EXPECT_EQ(StripCoffSymbols(image), length - before.raw_data_end());
  const PeHeaders after = ParsePeHeaders(image);
  EXPECT_EQ(image.size(), before.raw_data_end());
  EXPECT_EQ(after.symbol_table_offset, 0u);
  EXPECT_EQ(after.symbol_count, 0u);
}

TEST(StripCoffSymbols, LeavesAStrippedImageAlone) {
  Bytes image = ReadBytes(SamplePath("linked"));
  const Bytes original = image;
  EXPECT_EQ(StripCoffSymbols(image), 0u);
  EXPECT_EQ(image, original);
}

TEST(StripCoffSymbols, RefusesSectionsNamedThroughTheStringTable) {
  Bytes image = ReadBytes(SamplePath("debug"));
  try {
    StripCoffSymbols(image);
    FAIL() << "debug sections would lose their names";
  } catch (const PeFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("link with -s"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace orvek::payload
