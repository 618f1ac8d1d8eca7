#include "app/background_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace orvek::app {
namespace {

using std::chrono::milliseconds;

// An unattended run waits here for the version verdict and the event
// upload; returning early would lose them, never returning would hang a
// deployment.
TEST(BackgroundWork, WaitEndsWhenTheLastThreadEndsOrAtTheTimeout) {
  EXPECT_TRUE(WaitForBackgroundWork(milliseconds(0)));
  std::promise<void> release_first, release_second;
  std::shared_future<void> first = release_first.get_future().share();
  std::shared_future<void> second = release_second.get_future().share();
  std::atomic<int> done{0};
  StartBackgroundWork([first, &done] { first.wait(); ++done; });
  StartBackgroundWork([second, &done] {
    second.wait();
    ++done;
    throw std::runtime_error("a throwing body still counts as ended");
  });
  EXPECT_FALSE(WaitForBackgroundWork(milliseconds(20)));
  release_first.set_value();
  EXPECT_FALSE(WaitForBackgroundWork(milliseconds(20)));
  release_second.set_value();
  EXPECT_TRUE(WaitForBackgroundWork(milliseconds(10000)));
  EXPECT_EQ(done, 2);
}

}  // namespace
}  // namespace orvek::app
