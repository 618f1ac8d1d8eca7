// Texts of the skin toolkit's own user interface (caption-button hints,
// system-menu and edit-menu entries, message-box buttons); "&" marks the
// access key.
#pragma once

#include <string_view>

namespace orvek::app {

// The text for `key` (e.g. "SP_MINBUTTON_HINT" => "最小化"), or an empty
// view for a key the table does not have.
std::wstring_view SkinString(std::string_view key);

}  // namespace orvek::app
