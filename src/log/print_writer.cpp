#include "log/print_writer.h"

#include <string>

#include "base/unicode.h"

namespace orvek::log {

bool TPrintWriter::Print(std::wstring_view text) {
  if (text.empty()) return true;
  return FStream.Write(base::Utf8FromWide(text));
}

bool TPrintWriter::Println(std::wstring_view text) {
  if (text.empty()) return true;
  // Text and line end in one write, so a record is never split.
  std::string bytes = base::Utf8FromWide(text);
  bytes += "\r\n";
  return FStream.Write(bytes);
}

}  // namespace orvek::log
