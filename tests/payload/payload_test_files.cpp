#include "payload_test_files.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <set>

#include "system/files/temp_directory.h"

namespace orvek::test {

namespace fs = std::filesystem;

fs::path Fixture(const std::wstring& name) {
  const std::string root = ORVEK_PAYLOAD_FIXTURES;
  return fs::path(std::wstring(root.begin(), root.end())) / name;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void MakeInstallerFile(const fs::path& path, std::int32_t offset, std::size_t head,
                       const fs::path& archive, std::size_t trailing) {
  std::string bytes(head, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  const auto value = static_cast<std::uint32_t>(offset);
  for (int i = 0; i < 4; ++i) bytes[128 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  bytes += ReadBytes(archive);
  for (std::size_t i = 0; i < trailing; ++i) bytes += static_cast<char>(i * 31 + 7);
  WriteBytes(path, bytes);
}

namespace {

std::set<std::wstring> FilesBelow(const fs::path& root) {
  std::set<std::wstring> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).wstring());
  }
  return files;
}

}  // namespace

std::vector<std::wstring> TreeDifferences(const fs::path& expected, const fs::path& actual) {
  std::vector<std::wstring> differences;
  const std::set<std::wstring> want = FilesBelow(expected);
  const std::set<std::wstring> got = fs::exists(actual) ? FilesBelow(actual) : std::set<std::wstring>();
  for (const std::wstring& file : want) {
    if (!got.count(file)) {
      differences.push_back(L"missing " + file);
    } else if (ReadBytes(expected / file) != ReadBytes(actual / file)) {
      differences.push_back(L"differs " + file);
    }
  }
  for (const std::wstring& file : got) {
    if (!want.count(file)) differences.push_back(L"extra " + file);
  }
  return differences;
}

std::vector<std::wstring> PrivateTempFolders() {
  std::vector<std::wstring> folders;
  for (const auto& entry : fs::directory_iterator(system::GetTempDirectory())) {
    const std::wstring name = entry.path().filename().wstring();
    if (entry.is_directory() && name.rfind(L"orvek-", 0) == 0 && name.find(L"test") == std::wstring::npos) {
      folders.push_back(name);
    }
  }
  return folders;
}

}  // namespace orvek::test
