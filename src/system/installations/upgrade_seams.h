// Where the Wine-run tests stand in for what Wine does not do as Windows
// does during an upgrade. Read through test_seams.h: in the product both are
// nothing.
#pragma once

#include <string>

namespace orvek::system {

// Windows refuses to move a folder while a file below it is held open, or
// while a program's current folder is it; Wine moves it. True for a folder
// named in ORVEK_TEST_UNMOVABLE_FOLDERS (full paths separated by ";",
// letter case ignored): its move is refused as Windows refuses it.
bool MoveRefusedForTesting(const std::wstring& folder);

// Ends the process at once, as a kill or a power cut would, when
// ORVEK_TEST_END_AT names `point`.
void EndHereForTesting(const wchar_t* point);

}  // namespace orvek::system
