#include "app/skin_strings.h"

#include <gtest/gtest.h>

namespace orvek::app {
namespace {

TEST(SkinStrings, CaptionHintsAndMessageButtonsAreChinese) {
  EXPECT_EQ(SkinString("SP_MINBUTTON_HINT"), L"最小化");
  EXPECT_EQ(SkinString("SP_ROLLUPBUTTON_HINT"), L"收起");
  EXPECT_EQ(SkinString("SP_MI_CLOSECAPTION"), L"关闭");
  EXPECT_EQ(SkinString("SP_MSG_BTN_SAVE"), L"保存(&S)");
  EXPECT_EQ(SkinString("SP_Edit_SelectAll"), L"选中所有");
}

TEST(SkinStrings, UnknownKeysAreEmptyAndCaseMatters) {
  EXPECT_TRUE(SkinString("SP_NO_SUCH_KEY").empty());
  EXPECT_TRUE(SkinString("sp_minbutton_hint").empty());
  EXPECT_TRUE(SkinString("").empty());
}

}  // namespace
}  // namespace orvek::app
