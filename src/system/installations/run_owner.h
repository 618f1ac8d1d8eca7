// This run and its account as the install journal names them
// (journal_owner_rules.h), and whether the run that wrote a record still
// goes on.
#pragma once

#include <string>

#include "system/installations/journal_owner_rules.h"

namespace orvek::system {

// This process: FormatRunId(its id, its creation time).
std::wstring CurrentRunId();

// The SID of the process token's user, L"S-1-5-21-...", L"S-1-5-18" for
// LocalSystem; empty when the token cannot be read.
//
// Wine runs every process as one account, so builds with test seams (the
// Wine-run twin, ORVEK_TEST_SEAMS) answer the value of the environment
// variable ORVEK_TEST_ACCOUNT_SID instead while it is set: a run of another
// account. The product is built without the seam.
std::wstring CurrentAccountSid();

// Whether the process `run` names runs now: one of that id whose creation
// time is the recorded one and that has not exited. A process that exists
// but cannot be asked (access denied) counts as running: its work is never
// taken back under it.
bool ProcessRuns(const RunId& run);

}  // namespace orvek::system
