#include "system/files/tree_walk.h"

#include <utility>
#include <vector>

namespace orvek::system {

bool WalkTree(std::unique_ptr<WalkedDirectory> root, std::size_t max_depth,
              const std::function<void(const WalkedDirectory&)>& too_deep) {
  std::vector<std::unique_ptr<WalkedDirectory>> levels;
  levels.push_back(std::move(root));
  bool whole = true;
  while (!levels.empty()) {
    bool done = false;
    std::unique_ptr<WalkedDirectory> below = levels.back()->Next(done);
    if (below) {
      // levels.size() is the depth `below` lies at.
      if (levels.size() <= max_depth) {
        levels.push_back(std::move(below));
      } else {
        if (whole && too_deep) too_deep(*below);
        whole = false;
      }
    } else if (done) {
      levels.back()->Leave();
      levels.pop_back();
    }
  }
  return whole;
}

std::wstring TooDeepLine(const std::wstring& path) {
  return L"tree deeper than " + std::to_wstring(kMaxTreeDepth) + L" levels, not walked below " + path;
}

}  // namespace orvek::system
