// A file appender that keeps the log below a size by rolling it into numbered
// backups.
//
// Roll-over scheme, for path P and MaxBackupIndex N (N > 0):
//   P.N is deleted; P.(N-1) -> P.N, ..., P.1 -> P.2; P -> P.1; a new empty P.
// P.1 is thus always the most recent backup and P.N the oldest. A record is
// written whole before the size is checked, so a file ends at most one record
// past the limit and no record is split across files. With N <= 0 no backups
// are kept and P itself is reopened: kept when appending, else truncated.
// Failed deletes and renames are ignored; if P cannot be opened again, the
// appender stays closed and later records are dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "log/file_appender.h"

namespace orvek::log {

class TRollingFileAppender : public TFileAppender {
 public:
  static constexpr std::int64_t kDefaultMaxFileSize = 10485760;  // 10 MiB

  TRollingFileAppender(Platform& platform, InternalLog& trace);

  void SetMaxBackupIndex(std::int32_t count) { FMaxBackupIndex = count; }
  std::int32_t GetMaxBackupIndex() const { return FMaxBackupIndex; }
  void SetMaxFileSize(std::int64_t bytes) { FMaxFileSize = bytes; }
  // See ParseMaxFileSize; a text without a unit letter changes nothing.
  void SetMaxFileSize(std::wstring_view text);
  std::int64_t GetMaxFileSize() const { return FMaxFileSize; }

  void RollOver();

 protected:
  void Append(const TLoggingEvent& event) override;

 private:
  std::int32_t FMaxBackupIndex = 1;
  std::int64_t FMaxFileSize = kDefaultMaxFileSize;
};

// A decimal count followed by an upper-case unit letter:
//   "512K" => 524288, "10M" => 10485760, "1G" => 1073741824, "0K" => 0
//   "512k", "512", "" => nullopt (no unit: the size stays as it was)
// Throws FacilityError when the count is not a decimal integer ("x1K"), is
// negative ("-1K"), or the product reaches 2 GiB ("2G", "2048M"): the limit
// is a signed 32-bit count, and a wrapped-around value would roll the log
// over after every record.
std::optional<std::int64_t> ParseMaxFileSize(std::wstring_view text);

}  // namespace orvek::log
