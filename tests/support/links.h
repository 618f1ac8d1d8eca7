// Links as a user makes them to aim the elevated installer's writes at
// another file: symbolic links (of files and folders) and hard links.
#pragma once

#include <filesystem>

namespace orvek::test {

// Makes `link` a symbolic link to `target` (a file or a folder). Wine 8's
// CreateSymbolicLinkW reports success and makes nothing; there the link is a
// Unix symbolic link, which Wine shows as a link (attributes 0x410 for a
// folder). False when no link could be made.
bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link);

// Removes the link `link` itself, never what it points to.
void RemoveLink(const std::filesystem::path& link);

bool MakeHardLink(const std::filesystem::path& target, const std::filesystem::path& link);

}  // namespace orvek::test
