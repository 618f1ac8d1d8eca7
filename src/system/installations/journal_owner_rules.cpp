#include "system/installations/journal_owner_rules.h"

#include "base/text.h"

namespace orvek::system {
namespace {

// Decimal digits only, within 64 bits.
std::optional<std::uint64_t> ParseDigits(std::wstring_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::wstring FormatRunId(std::uint32_t process_id, std::uint64_t creation_time) {
  return std::to_wstring(process_id) + L":" + std::to_wstring(creation_time);
}

std::optional<RunId> ParseRunId(std::wstring_view text) {
  const std::size_t colon = text.find(L':');
  if (colon == std::wstring_view::npos) return std::nullopt;
  const std::optional<std::uint64_t> id = ParseDigits(text.substr(0, colon));
  const std::optional<std::uint64_t> time = ParseDigits(text.substr(colon + 1));
  if (!id || !time || *id > UINT32_MAX) return std::nullopt;
  return RunId{static_cast<std::uint32_t>(*id), *time};
}

RecordTurn DecideRecordTurn(const RecordOwner& record, const RecordOwner& current,
                            const std::function<bool(const RunId&)>& process_runs) {
  const std::optional<RunId> run = ParseRunId(record.run);
  if (run && record.run != current.run && process_runs(*run)) return RecordTurn::kLeaveRunGoingOn;
  if (record.in_user_hive && !record.account.empty() && !base::SameText(record.account, current.account)) {
    return RecordTurn::kLeaveForItsAccount;
  }
  return RecordTurn::kActOn;
}

}  // namespace orvek::system
