// Files the payload tests work with: the packed fixtures and installer files
// made from them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvek::test {

// A fixture made by make_fixtures.sh, e.g. Fixture(L"good.7z"); L"tree" is
// the packed source tree.
std::filesystem::path Fixture(const std::wstring& name);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// An installer-like file: `head` zero bytes carrying `offset` at 128, then
// `archive`'s bytes and `trailing` bytes of certificate-like junk.
void MakeInstallerFile(const std::filesystem::path& path, std::int32_t offset, std::size_t head,
                       const std::filesystem::path& archive, std::size_t trailing);

// Relative paths of files that differ, are missing or are extra in `actual`
// compared with `expected` (folders only count through their files).
std::vector<std::wstring> TreeDifferences(const std::filesystem::path& expected,
                                          const std::filesystem::path& actual);

// Private folders "orvek-*" currently in the temporary directory.
std::vector<std::wstring> PrivateTempFolders();

}  // namespace orvek::test
