#include "app/setup_switches.h"

#include "base/text.h"

namespace orvek::app {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Past the program path: up to the closing quote when it starts with one
// (no escapes there), else up to the first blank.
std::size_t SkipProgramPath(std::wstring_view line) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == L'"') {
    i = line.find(L'"', 1);
    i = i == std::wstring_view::npos ? line.size() : i + 1;
  }
  while (i < line.size() && !IsBlank(line[i])) ++i;
  return i;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Whether the full path `target` (L"C:\...") leads to the drive's root once
// Windows has read it: "." and ".." resolved, and the dots and blanks it
// drops from the end of a name dropped. L"C:\", L"C:\.", L"C:\a\..",
// L"C:\ .." do; L"C:\a" does not.
bool NamesDriveRoot(std::wstring_view target) {
  int depth = 0;
  for (std::size_t start = 3; start < target.size();) {
    std::size_t end = target.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = target.size();
    const std::wstring_view name = target.substr(start, end - start);
    if (name.find_first_not_of(L". ") != std::wstring_view::npos) {
      ++depth;
    } else if (name.find(L"..") != std::wstring_view::npos && depth > 0) {
      --depth;  // ".." (and, to be safe, any other run of dots and blanks with two dots)
    }
    start = end + 1;
  }
  return depth == 0;
}

// L"C:\x" is a full path; L"x", L"C:x", L"\x" are relative to something
// the deployment tool does not control (the current directory, usually a
// Downloads folder). A network path (L"\\srv\share\x") is refused too:
// the free-space check addresses a drive by its letter and would refuse it as
// full. So is a drive root: the client's files would spill over the drive.
std::wstring TargetProblem(std::wstring_view target) {
  if (target.size() >= 2 && target.substr(0, 2) == L"\\\\") return L"is not on a drive with a letter";
  if (target.size() < 3 || !IsDriveLetter(target[0]) || target[1] != L':' ||
      (target[2] != L'\\' && target[2] != L'/')) {
    return L"is not a full path";
  }
  if (NamesDriveRoot(target)) return L"is a root";
  return {};
}

// Quotes cannot be part of a Windows path; the unquoted /D= may still carry
// some from a script that quoted it anyway.
std::wstring WithoutQuotes(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'"') out += c;
  }
  return out;
}

std::wstring_view TrimBlanksRight(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

class Parser {
 public:
  explicit Parser(std::wstring_view line) : line_(line) {}

  SetupSwitches Run() {
    // On past a bad argument: a /S after it still makes the run silent, so
    // the bad command line ends with its exit code instead of a window.
    for (const CommandLineArgument& arg : SplitCommandLine(line_)) {
      if (!Take(arg)) break;
    }
    return switches_;
  }

 private:
  // False when the argument took the rest of the line.
  bool Take(const CommandLineArgument& arg) {
    const std::wstring& text = arg.text;
    if (base::AsciiLower(text) == L"dpi") return true;
    if (text.empty() || (text[0] != L'/' && text[0] != L'-')) {
      Fail(L"unexpected argument " + text);
      return true;
    }
    const std::size_t equals = text.find(L'=');
    const bool has_value = equals != std::wstring::npos;
    const std::wstring name = base::AsciiLower(text.substr(1, has_value ? equals - 1 : std::wstring::npos));
    const std::wstring value = has_value ? text.substr(equals + 1) : std::wstring();
    if (!has_value && (name == L"s" || name == L"silent" || name == L"verysilent")) {
      switches_.silent = true;
    } else if (!has_value && name == L"plan") {
      switches_.plan = true;
    } else if (!has_value && name == L"nodesktop") {
      switches_.add_desktop = false;
    } else if (!has_value && name == L"nostartmenu") {
      switches_.add_start_menu = false;
    } else if (!has_value && name == L"clearuserdata") {
      switches_.clear_user_data = true;
    } else if (!has_value && name == L"allusers") {
      switches_.all_users = true;
      if (switches_.current_user) Fail(L"/ALLUSERS and /CURRENTUSER together");
    } else if (!has_value && name == L"currentuser") {
      switches_.current_user = true;
      if (switches_.all_users) Fail(L"/ALLUSERS and /CURRENTUSER together");
    } else if (has_value && name == L"d") {
      // The rest of the raw line from after the first "=", blanks and all.
      const std::size_t raw_equals = line_.find(L'=', arg.offset);
      SetTarget(text.substr(0, 2), WithoutQuotes(TrimBlanksRight(line_.substr(raw_equals + 1))));
      return false;
    } else if (has_value && name == L"dir") {
      SetTarget(text.substr(0, 4), value);
    } else if (has_value && name == L"log") {
      if (!switches_.log_file.empty()) {
        Fail(L"/LOG= given twice");
      } else if (value.empty()) {
        Fail(L"empty value of " + text);
      } else {
        switches_.log_file = value;
      }
    } else {
      Fail(L"unknown switch " + text);
    }
    return true;
  }

  void SetTarget(const std::wstring& which, const std::wstring& value) {
    if (!switches_.target.empty()) return Fail(L"target directory given twice");
    if (value.empty()) return Fail(L"empty value of " + which + L"=");
    const std::wstring problem = TargetProblem(value);
    if (!problem.empty()) return Fail(L"target directory " + problem + L", " + value);
    switches_.target = value;
  }

  void Fail(std::wstring text) {
    if (switches_.error.empty()) switches_.error = std::move(text);
  }

  std::wstring_view line_;
  SetupSwitches switches_;
};

}  // namespace

std::vector<CommandLineArgument> SplitCommandLine(std::wstring_view line) {
  std::vector<CommandLineArgument> args;
  std::size_t i = SkipProgramPath(line);
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    CommandLineArgument arg;
    arg.offset = i;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == L'\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == L'"') {
        arg.text.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          arg.text += L'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          arg.text += L'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.text.append(backslashes, L'\\');
        if (backslashes == 0 && i < line.size()) arg.text += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

SetupSwitches ParseSetupSwitches(std::wstring_view command_line) {
  return Parser(command_line).Run();
}

}  // namespace orvek::app
