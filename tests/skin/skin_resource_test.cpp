#include "skin/skin_resource.h"

#include <gtest/gtest.h>

namespace orvek::skin {
namespace {

TEST(SkinResource, TheProgramCarriesTheCompressedSkin) {
  const SkinData skin = LoadSkinResource();
  EXPECT_TRUE(skin.HasItem("trackbarRed"));
  EXPECT_TRUE(skin.HasArea("btnexercise"));
}

TEST(SkinResource, RefusesDamagedOrTruncatedData) {
  EXPECT_THROW(InflateGzip("not gzip at all", 15), SkinResourceError);
  // gzip of "abc" (gzip -n), cut before its CRC and length.
  const unsigned char abc[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
                               0x4b, 0x4c, 0x4a, 0x06, 0x00, 0xc2, 0x41, 0x24, 0x35, 0x03,
                               0x00, 0x00, 0x00};
  EXPECT_EQ(InflateGzip(abc, sizeof abc), "abc");
  EXPECT_THROW(InflateGzip(abc, sizeof abc - 6), SkinResourceError);
  unsigned char bad_crc[sizeof abc];
  std::copy(std::begin(abc), std::end(abc), bad_crc);
  bad_crc[16] ^= 0xFF;
  EXPECT_THROW(InflateGzip(bad_crc, sizeof bad_crc), SkinResourceError);
}

TEST(SkinResource, AModuleWithoutTheSkinIsAnError) {
  EXPECT_THROW(LoadSkinResource(::GetModuleHandleW(L"kernel32.dll")), SkinResourceError);
}

}  // namespace
}  // namespace orvek::skin
