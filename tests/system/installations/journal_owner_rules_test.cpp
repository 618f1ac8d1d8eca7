#include "system/installations/journal_owner_rules.h"

#include <gtest/gtest.h>

namespace orvek::system {
namespace {

TEST(JournalOwnerRulesTest, ARunActsOnlyOnEndedRunsAndOnItsOwnHive) {
  // Running now: the current run 8 and process 7 created at time 9; process
  // 6 runs again under a reused id, created later than the record says.
  const auto process_runs = [](const RunId& run) {
    return (run.process_id == 7 && run.creation_time == 9) || (run.process_id == 8 && run.creation_time == 1) ||
           (run.process_id == 6 && run.creation_time == 99);
  };
  const RecordOwner current{L"8:1", L"S-1-5-21-100", false};
  const struct {
    RecordOwner record;
    RecordTurn turn;
  } cases[] = {
      {{L"7:9", L"S-1-5-21-100", false}, RecordTurn::kLeaveRunGoingOn},
      {{L"7:9", L"S-1-5-21-200", true}, RecordTurn::kLeaveRunGoingOn},
      {{L"8:1", L"S-1-5-21-100", true}, RecordTurn::kActOn},   // this run's own
      {{L"6:5", L"S-1-5-21-100", true}, RecordTurn::kActOn},   // its id reused by a later process
      {{L"5:5", L"S-1-5-21-200", false}, RecordTurn::kActOn},  // machine-wide: any account's run
      {{L"5:5", L"S-1-5-21-200", true}, RecordTurn::kLeaveForItsAccount},
      {{L"5:5", L"s-1-5-21-100", true}, RecordTurn::kActOn},
      {{L"5:5", L"S-1-5-18", true}, RecordTurn::kLeaveForItsAccount},
      {{L"", L"", true}, RecordTurn::kActOn},           // written before runs named themselves
      {{L"7", L"S-1-5-21-100", false}, RecordTurn::kActOn},  // unreadable: as an ended run
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.record.run.begin(), c.record.run.end()) + " " +
                 std::string(c.record.account.begin(), c.record.account.end()));
    EXPECT_EQ(DecideRecordTurn(c.record, current, process_runs), c.turn);
  }
  EXPECT_EQ(FormatRunId(4242, 133512345678901234u), L"4242:133512345678901234");
  const std::optional<RunId> parsed = ParseRunId(L"4294967295:18446744073709551615");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->process_id, 4294967295u);
  EXPECT_EQ(parsed->creation_time, 18446744073709551615u);
  for (const wchar_t* bad : {L"", L"4242", L"4242:", L":1", L"x:1", L"-1:5", L"1:2:3", L"4294967296:1",
                             L"1:18446744073709551616"}) {
    EXPECT_FALSE(ParseRunId(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace orvek::system
