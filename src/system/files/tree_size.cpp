#include "system/files/tree_size.h"

#include <windows.h>

#include <memory>

#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/files/tree_walk.h"

namespace orvek::system {
namespace {

// One directory being counted: its entries, taken as the search gives them.
class CountedDirectory : public WalkedDirectory {
 public:
  CountedDirectory(std::uint64_t& total, std::wstring dir) : total_(total), dir_(std::move(dir)) {}

  std::unique_ptr<WalkedDirectory> Next(bool& done) override {
    WIN32_FIND_DATAW found;
    bool more = false;
    if (started_) {
      more = search_ && ::FindNextFileW(search_.get(), &found);
    } else {
      started_ = true;
      search_ = base::MakeUniqueFindHandle(::FindFirstFileW((dir_ + L"\\*").c_str(), &found));
      more = static_cast<bool>(search_);
    }
    if (!more) {
      done = true;
      return nullptr;
    }
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return nullptr;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      return std::make_unique<CountedDirectory>(total_, dir_ + L"\\" + name);
    }
    total_ += (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return nullptr;
  }

  std::wstring Path() const override { return dir_; }

 private:
  std::uint64_t& total_;
  std::wstring dir_;
  base::UniqueFindHandle search_;
  bool started_ = false;
};

}  // namespace

std::uint64_t TreeBytes(const std::wstring& dir) {
  std::uint64_t total = 0;
  WalkTree(std::make_unique<CountedDirectory>(total, dir), kMaxTreeDepth,
           [](const WalkedDirectory& deep) { log::LogWarn(TooDeepLine(deep.Path())); });
  return total;
}

}  // namespace orvek::system
