// Which programs hold a file open, where the system can say it (the Restart
// Manager, from Windows Vista on). Used to name the program that keeps an
// upgrade from moving a file of the earlier installation.
#pragma once

#include <string>

namespace orvek::system {

// The programs that hold `path` open, as "name (pid)" separated by ", ";
// empty when none is known or the system cannot say (Wine may not). Loads
// rstrtmgr.dll from the system folder. Never throws.
std::wstring ProgramsHolding(const std::wstring& path) noexcept;

}  // namespace orvek::system
