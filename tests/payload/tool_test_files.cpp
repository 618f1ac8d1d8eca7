#include "tool_test_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace orvek::tools::test {
namespace fs = std::filesystem;

fs::path SamplePath(const std::string& name) { return fs::path(ORVEK_SAMPLES_DIR) / (name + ".exe"); }

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out) << "cannot write " << path;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "orvek-tools-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

std::string Quote(const fs::path& path) {
  std::string quoted = "'";
  quoted += path.string();
  quoted += "'";
  return quoted;
}

fs::path Make7zArchive(const fs::path& dir, std::size_t random_bytes) {
  const fs::path content = dir / "content";
  fs::create_directories(content / "bin");
  std::ofstream(content / "readme.txt") << "payload of a test installer\n";
  Bytes noise(random_bytes);
  std::mt19937 random(42);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  WriteBytes(content / "bin" / "data.bin", noise);

  const fs::path archive = dir / "payload.7z";
  const CommandResult made = RunCommand(std::string(ORVEK_7Z_TOOL) + " a -t7z -m0=BCJ -m1=LZMA2 -mx=1 " +
                                        "-ms=on -mhe=off -pOrvekTest " + Quote(archive) + " " +
                                        Quote(content) + "/*");
  EXPECT_EQ(made.status, 0) << made.output;
  fs::remove_all(content);
  return archive;
}

}  // namespace orvek::tools::test
