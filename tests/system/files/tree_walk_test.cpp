#include "system/files/tree_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace orvek::system {
namespace {

// A chain of directories `height` levels below the root, each holding one
// file and the next directory; counts what the walk keeps open.
struct Chain {
  std::size_t height = 0;
  std::size_t open = 0, most_open = 0, files = 0, left = 0;
};

class ChainLevel : public WalkedDirectory {
 public:
  ChainLevel(Chain& chain, std::size_t depth) : chain_(chain), depth_(depth) {
    chain_.most_open = std::max(chain_.most_open, ++chain_.open);
  }
  ~ChainLevel() override { --chain_.open; }

  std::unique_ptr<WalkedDirectory> Next(bool& done) override {
    switch (step_++) {
      case 0:
        ++chain_.files;
        return nullptr;
      case 1:
        if (depth_ < chain_.height) return std::make_unique<ChainLevel>(chain_, depth_ + 1);
        [[fallthrough]];
      default:
        done = true;
        return nullptr;
    }
  }
  void Leave() override { ++chain_.left; }
  std::wstring Path() const override { return L"level " + std::to_wstring(depth_); }

 private:
  Chain& chain_;
  std::size_t depth_;
  int step_ = 0;
};

// A user can build a tree far deeper than any path: the walk neither
// recurses nor holds more than the bound's levels open, and says so once.
TEST(TreeWalkTest, WalksToTheBoundAndNoDeeper) {
  struct Case {
    std::size_t height;
    bool whole;
    std::size_t entered;
  } cases[] = {
      {3, true, 4},
      {kMaxTreeDepth, true, kMaxTreeDepth + 1},
      {kMaxTreeDepth + 1, false, kMaxTreeDepth + 1},
      {100000, false, kMaxTreeDepth + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    Chain chain;
    chain.height = c.height;
    int reported = 0;
    std::wstring where;
    const bool whole = WalkTree(std::make_unique<ChainLevel>(chain, 0), kMaxTreeDepth,
                                [&](const WalkedDirectory& d) {
                                  ++reported;
                                  where = d.Path();
                                });
    EXPECT_EQ(whole, c.whole);
    EXPECT_EQ(reported, c.whole ? 0 : 1);
    if (!c.whole) {
      EXPECT_EQ(where, L"level " + std::to_wstring(kMaxTreeDepth + 1));
    }
    EXPECT_EQ(chain.files, c.entered);
    EXPECT_EQ(chain.left, c.entered);
    EXPECT_EQ(chain.most_open, c.entered + (c.whole ? 0 : 1));
    EXPECT_EQ(chain.open, 0u);
  }
}

}  // namespace
}  // namespace orvek::system
