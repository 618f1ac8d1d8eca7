// Reading the services' JSON answers and writing the upload document.
//
// Values are nlohmann::ordered_json, so a built object keeps its members in
// the order they were set (receivers must not depend on it, but it makes the
// text predictable). Pure code, no system headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvek::net {

using Json = nlohmann::ordered_json;

// Well-formed or not, a text beyond what ParseJson builds. The message names
// the limit, for the caller's log line.
class JsonLimitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The services answer with objects three levels deep holding a handful of
// members. Reading a value (ReadAsText, WriteJson) recurses once per level,
// so depth is what a thread's stack must be sized for; and each member of an
// object is looked up among those before it while the object is built, so
// the members of one object cost their count squared.
inline constexpr std::size_t kMaxJsonDepth = 64;
inline constexpr std::size_t kMaxJsonMembers = 256;

// Parses UTF-8 text; comments are allowed. Anything that is not one complete
// JSON value gives nullopt: "<html>" => nullopt. An array or object nested
// deeper than kMaxJsonDepth, or an object with more than kMaxJsonMembers
// members, throws JsonLimitError as soon as the parser reaches it, before
// it is built: 65 "[" => JsonLimitError, whatever follows them.
std::optional<Json> ParseJson(std::string_view text);

// The member `name` of `object`, or nullptr when `object` is not an object,
// lacks the member, or holds JSON null there.
const Json* FindMember(const Json& object, std::string_view name);

// A member read as text (UTF-8):
//   "abc" => "abc"; 17 => "17"; 1.5 => "1.5"; 2.0 => "2"; true => "true";
//   {"a":1} => "{\"a\":1}"; missing, null and the string "null" => "".
std::string ReadAsText(const Json& object, std::string_view name);

// A member read as integer, low 32 bits:
//   17 => 17; "17" => 17; "-3" => -3; "abc", "1.5", " 1", "" => 0;
//   true => 1; false => 0; 2.5 => 2 and 3.5 => 4 (ties to even);
//   4294967297 => 1; missing, null, objects and arrays => 0.
// A number or digit string beyond 64 bits gives 0, as a non-number would.
std::int32_t ReadAsInteger(const Json& object, std::string_view name);

// Compact text (no blanks between tokens). Inside strings the quotation
// mark, backslash, "/", backspace, tab, line feed, form feed and carriage
// return are escaped with a backslash, NUL and the other control characters
// as \u00XX; every other character is written as itself (UTF-8).
//   {"a":"x/y\u0001é"} => {"a":"x\/y\u0001é"}
std::string WriteJson(const Json& value);

}  // namespace orvek::net
