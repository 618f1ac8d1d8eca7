// Text output of the writer appenders: UTF-8 without a byte-order mark, each
// call one write to the stream.
#pragma once

#include <string_view>

#include "log/platform.h"

namespace orvek::log {

class TPrintWriter {
 public:
  // The stream is borrowed; its owner destroys the writer first.
  explicit TPrintWriter(TFileStream& stream) : FStream(stream) {}

  // Both write nothing for an empty text; false when the write failed.
  bool Print(std::wstring_view text);
  bool Println(std::wstring_view text);  // text + CR LF

 private:
  TFileStream& FStream;
};

}  // namespace orvek::log
