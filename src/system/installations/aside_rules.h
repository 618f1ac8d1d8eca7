// Where an earlier installation waits while an upgrade installs over it.
// Pure: no platform headers, unit-tested natively.
//
// The earlier directory is renamed, not copied: beside itself, in the same
// parent folder, so the rename never leaves its volume and is undone by
// renaming it back. Its new name carries "orvek", so the removal guard
// accepts it wherever it accepted the location.
#pragma once

#include <string>
#include <string_view>

namespace orvek::system {

// The `candidate`-th name (1, 2, ...) for the directory at `location` while
// it is kept aside: the location without its final backslashes, then
// ".orvek-previous", then "-<candidate>" from the second candidate on.
//   (L"C:\\a\\orvek\\", 1) => L"C:\\a\\orvek.orvek-previous"
//   (L"C:\\a\\orvek", 3)   => L"C:\\a\\orvek.orvek-previous-3"
// Empty for a location that has no name of its own: L"C:\\", L"\\\\srv\\s".
std::wstring AsideLocation(std::wstring_view location, int candidate);

// Whether `aside` is AsideLocation(`location`, n) for an n from 1 to
// kAsideCandidates, letter case ignored. Used to trust a recorded pair
// before moving anything back.
bool IsAsideOf(std::wstring_view location, std::wstring_view aside);

inline constexpr int kAsideCandidates = 99;

}  // namespace orvek::system
