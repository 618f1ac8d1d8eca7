// Depth-first walks of directory trees, without recursion and to a stated
// depth. Pure: no platform headers, unit-tested natively.
//
// The trees walked with administrator rights (earlier installations, the
// user data, what an upgrade keeps aside) lie where users can write, and
// relative opens reach far deeper than any path a program could name. A
// walk that recursed once per level would end the elevated process on a
// tree a user built ten thousand levels deep, and with it every later start
// that found the tree in the install journal. So the walk keeps its levels
// in a list of its own, and never opens more than kMaxTreeDepth of them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orvek::system {

// The deepest directory a walk enters, counted from its root (depth 0).
// The installed client is a few levels deep; paths of the ordinary kind end
// long before this.
inline constexpr std::size_t kMaxTreeDepth = 256;

// One directory of a walk, open while the walk is in it or below it.
class WalkedDirectory {
 public:
  virtual ~WalkedDirectory() = default;
  // Handles the next entry of this directory. Returns the directory to walk
  // next when the entry is one to descend into, else nullptr; sets `done`
  // (and returns nullptr) when no entry is left.
  virtual std::unique_ptr<WalkedDirectory> Next(bool& done) = 0;
  // Every entry below it has been handled.
  virtual void Leave() {}
  // For the log line of a tree that is too deep.
  virtual std::wstring Path() const = 0;
};

// Walks the tree below `root`. A directory deeper than `max_depth` is not
// entered: `too_deep` is called with it, once per walk, and the walk goes
// on beside it (its parent's Leave still runs). False when that happened.
bool WalkTree(std::unique_ptr<WalkedDirectory> root, std::size_t max_depth,
              const std::function<void(const WalkedDirectory&)>& too_deep);

// The log line for a tree that WalkTree found too deep below `path`.
std::wstring TooDeepLine(const std::wstring& path);

}  // namespace orvek::system
