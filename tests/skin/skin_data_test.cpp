#include "skin/skin_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace orvek::skin {
namespace {

TEST(SkinColour, ReadsHashRrGgBb) {
  EXPECT_EQ(ParseColour("#FF5656"), MakeColour(0xFF, 0x56, 0x56));
  EXPECT_EQ(ParseColour("#6994ff"), MakeColour(0x69, 0x94, 0xFF));
  for (const char* bad : {"FF5656", "#FF565", "#FF56567", "#GG0000", ""}) {
    EXPECT_THROW(ParseColour(bad), SkinFormatError) << bad;
  }
}

TEST(SkinParse, ItemsAreadAsWrittenAndAreasOverrideThem) {
  const SkinData skin = SkinData::Parse(
      "; comment\r\n"
      "[button]\r\n"
      "color = #2F7BF5\r\n"
      "text=#FFFFFF\n"
      "radius=4\n"
      "fontSize=16\n"
      "\n"
      "[area:btnexercise]\n"
      "fontSize=18\n"
      "bold=1\n");
  ASSERT_TRUE(skin.HasItem("button"));
  ASSERT_TRUE(skin.HasArea("btnexercise"));
  EXPECT_FALSE(skin.HasItem("btnexercise"));
  const SkinItem plain = skin.Resolve("button");
  EXPECT_EQ(plain.color, MakeColour(0x2F, 0x7B, 0xF5));
  EXPECT_EQ(plain.color2, plain.color) << "one colour means no gradient";
  EXPECT_EQ(plain.radius, 4);
  EXPECT_EQ(plain.font_size, 16);
  EXPECT_FALSE(plain.bold);
  const SkinItem in_area = skin.Resolve("button", "btnexercise");
  EXPECT_EQ(in_area.font_size, 18);
  EXPECT_TRUE(in_area.bold);
  EXPECT_EQ(in_area.color, plain.color);
}

TEST(SkinParse, GradientEndSurvivesWhateverTheKeyOrder) {
  const SkinData skin = SkinData::Parse("[p]\ncolor2=#000000\ncolor=#FFFFFF\n");
  EXPECT_EQ(skin.Resolve("p").color, MakeColour(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(skin.Resolve("p").color2, MakeColour(0, 0, 0));
}

TEST(SkinParse, UnknownNamesFallBackToDefaults) {
  const SkinData skin = SkinData::Parse("[a]\nradius=3\n");
  const SkinItem defaults;
  EXPECT_EQ(skin.Resolve("missing").radius, defaults.radius);
  EXPECT_EQ(skin.Resolve("a", "no-such-area").radius, 3);
}

TEST(SkinParse, RefusesBrokenFilesNamingTheLine) {
  const char* broken[] = {
      "color=#FFFFFF\n",              // key outside a section
      "[a]\njust words\n",            // no '='
      "[a]\ncolour=#FFFFFF\n",        // unknown key
      "[a]\nradius=-2\n",             // negative size
      "[a]\nradius=2px\n",            // trailing junk
      "[a\nradius=2\n",               // unclosed section
      "[a]\nfont=\xE5\xBE\xAE\n",     // non-ASCII font name
  };
  for (const char* text : broken) {
    try {
      SkinData::Parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const SkinFormatError& e) {
      EXPECT_NE(std::string(e.what()).find("skin line "), std::string::npos) << e.what();
    }
  }
}

// The shipped skin must name every item and area the window uses.
TEST(ShippedSkin, HasEveryItemTheWindowNames) {
  std::ifstream in(ORVEK_SKIN_FILE, std::ios::binary);
  ASSERT_TRUE(in) << ORVEK_SKIN_FILE;
  std::stringstream text;
  text << in.rdbuf();
  const SkinData skin = SkinData::Parse(text.str());
  for (const char* item : {"pnlClient", "pnlWhite", "pnlSplite", "button", "btnExpand", "btnPickup",
                           "btnFolder", "checkbox", "edit", "trackbar", "trackbarRed",
                           "captionMinimize", "captionRollUp"}) {
    EXPECT_TRUE(skin.HasItem(item)) << item;
  }
  EXPECT_TRUE(skin.HasArea("client"));
  EXPECT_TRUE(skin.HasArea("btnexercise"));
  EXPECT_NE(skin.Resolve("trackbar").accent, skin.Resolve("trackbarRed").accent);
  EXPECT_NE(skin.Resolve("btnExpand").glyph, skin.Resolve("btnPickup").glyph);
}

}  // namespace
}  // namespace orvek::skin
