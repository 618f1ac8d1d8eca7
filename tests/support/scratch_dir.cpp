#include "support/scratch_dir.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace orvek::test {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          (L"orvek-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace orvek::test
