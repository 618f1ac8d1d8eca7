#include "readme_examples.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "support/child_process.h"

namespace orvek::test {

std::vector<ReadmeExample> ReadmeExamples() {
  std::ifstream file(std::filesystem::path(WindowsPath(ORVEK_README)), std::ios::binary);
  std::istringstream readme(std::string(std::istreambuf_iterator<char>(file), {}));
  std::vector<ReadmeExample> examples;
  bool in_section = false, in_fence = false, kept = false;
  std::string block;
  const std::regex span("`(orvek-setup-[^`]* [^`]*)`");
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("## ", 0) == 0) in_section = line.rfind("## For administrators", 0) == 0;
    if (!in_section) continue;
    if (line.rfind("```", 0) == 0) {
      if (in_fence && kept) examples.push_back({block, true});
      kept = !in_fence && (line == "```bat" || line == "```cmd");
      in_fence = !in_fence;
      block.clear();
    } else if (in_fence) {
      block += line + "\r\n";
    } else {
      for (std::sregex_iterator it(line.begin(), line.end(), span), end; it != end; ++it) {
        examples.push_back({(*it)[1].str() + "\r\n", false});
      }
    }
  }
  return examples;
}

std::string StartingFromDriveU(const std::string& example) {
  return std::regex_replace(example, std::regex(R"((^|\n)(\s*"?)\\\\fileserver\\deploy\\)"), "$1$2U:\\");
}

}  // namespace orvek::test
