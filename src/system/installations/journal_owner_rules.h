// Whose a record of the install journal is, and whether this run may act on
// it. Pure: no platform headers, unit-tested natively.
//
// The journal is machine-wide, and so is the PC: a run in another session or
// of another account may be writing its records while this one reads them.
// Each record names its run, by process id and creation time (a process id
// alone is reused as soon as its process has ended; the pair is not), and
// its account, by SID. A run acts on a record only when that record's run
// has ended, and puts a key back under HKEY_CURRENT_USER only when it is the
// account whose hive the key was taken from: another account's keys wait for
// that account's own next run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvek::system {

// A run as a record names it: L"<process id>:<creation time>", both decimal,
// the time in 100 ns units since 1601 as the system reports it:
//   (4242, 133512345678901234) => L"4242:133512345678901234".
std::wstring FormatRunId(std::uint32_t process_id, std::uint64_t creation_time);

struct RunId {
  std::uint32_t process_id = 0;
  std::uint64_t creation_time = 0;
};
// The reverse of FormatRunId; nullopt for anything else (L"", L"4242",
// L"4242:", L"x:1", L"-1:5", L"1:2:3").
std::optional<RunId> ParseRunId(std::wstring_view text);

enum class RecordTurn {
  kActOn,              // its run has ended (or is this run): take it back, complete it
  kLeaveRunGoingOn,    // another run that still goes on wrote it
  kLeaveForItsAccount  // a key of another account's hive: that account's next run restores it
};

struct RecordOwner {
  std::wstring_view run;      // empty in records of installers that did not name it
  std::wstring_view account;  // the same
  bool in_user_hive = false;  // a registry record under HKEY_CURRENT_USER
};

// `process_runs(id)` answers whether the process with that id and that
// creation time runs now. A record that names no run, or one that cannot be
// read, counts as written by a run that has ended, as before runs named
// themselves; one that names no account is restored into the current hive,
// as then. SIDs compare without regard to ASCII letter case.
//   {L"7:9", L"S-1-5-18", true} of current {L"8:1", L"S-1-5-18"}, 7:9 running
//     => kLeaveRunGoingOn
//   {L"7:9", L"S-1-5-21-1", true} of current {L"8:1", L"S-1-5-18"}, 7:9 ended
//     => kLeaveForItsAccount
RecordTurn DecideRecordTurn(const RecordOwner& record, const RecordOwner& current,
                            const std::function<bool(const RunId&)>& process_runs);

}  // namespace orvek::system
