// Real files for the log tests: a fresh directory per test, removed again.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "log/logging_event.h"

namespace orvek::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    // Taken once: tests point the system's temporary directory elsewhere.
    static const fs::path base = fs::temp_directory_path();
    FPath = base /
            ("orvek-log-" + std::to_string(random()) + "-" + std::to_string(counter++));
    fs::create_directories(FPath);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(FPath, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return FPath; }
  std::wstring file(const std::wstring& name) const { return (FPath / name).wstring(); }

 private:
  fs::path FPath;
};

// Runs the test in `dir` ("log.properties" and "log4delphi.log" live in the
// current directory) and goes back afterwards.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const fs::path& dir) : FPrevious(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDirectory() { fs::current_path(FPrevious); }

 private:
  fs::path FPrevious;
};

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The moment of the example record: 2024-03-05 09:07:02.045.
inline log::LocalTime ExampleTime() { return log::LocalTime{2024, 3, 5, 9, 7, 2, 45}; }

}  // namespace orvek::test
