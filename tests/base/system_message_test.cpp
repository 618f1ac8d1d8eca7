#include "base/system_message.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace orvek::base {
namespace {

TEST(SystemMessage, SystemTextWithoutTheLineBreak) {
  const std::wstring text = SystemMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_GT(text.front(), L' ');
  EXPECT_GT(text.back(), L' ');
}

TEST(SystemMessage, CodesTheSystemDoesNotKnowStillReadAsErrors) {
  EXPECT_EQ(SystemMessage(0x2FFF0001u), L"System error 805240833");
  EXPECT_EQ(SystemMessage(0xA0CD0001u), L"System error 0xA0CD0001");
  EXPECT_EQ(SystemMessageUtf8(0xA0CD0001u), "System error 0xA0CD0001");
}

}  // namespace
}  // namespace orvek::base
