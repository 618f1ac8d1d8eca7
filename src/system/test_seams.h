// Switches the Windows tests set through the environment, to stand for what
// Wine cannot show: another account, another session, a session without a
// desktop shell. Only builds with ORVEK_TEST_SEAMS (the Wine-run twin) read
// them; the product is built without, answers as if none were set, and so
// nothing in a user's environment can reach these decisions.
#pragma once

#include <string>

namespace orvek::system {

// The value of the environment variable `name` (up to 4095 characters); empty
// when it is not set, and always in the product.
std::wstring TestSeamValue(const wchar_t* name);

// Whether TestSeamValue(`name`) is "1".
bool TestSeamSet(const wchar_t* name);

}  // namespace orvek::system
