#include "log/print_writer.h"

#include <string>

#include "log/text.h"

namespace orvek::log {

bool TPrintWriter::Print(std::wstring_view text) {
  if (text.empty()) return true;
  return FStream.Write(Utf8FromWide(text));
}

bool TPrintWriter::Println(std::wstring_view text) {
  if (text.empty()) return true;
  // Text and line end in one write, so a record is never split.
  std::string bytes = Utf8FromWide(text);
  bytes += "\r\n";
  return FStream.Write(bytes);
}

}  // namespace orvek::log
