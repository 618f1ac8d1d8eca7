// Texts the log operations build before they log.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace orvek::log {

// One argument of LogErrorFmt, already as text: a string, or an integer in
// decimal.
class FormatArg {
 public:
  FormatArg(std::wstring_view text) : FText(text) {}
  FormatArg(const wchar_t* text) : FText(text != nullptr ? text : L"") {}
  FormatArg(const std::wstring& text) : FText(text) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                          !std::is_same_v<T, wchar_t>, int> = 0>
  FormatArg(T value) : FText(std::to_wstring(value)) {}

  const std::wstring& Text() const { return FText; }

 private:
  std::wstring FText;
};

// Each "%s" and "%d" takes the next argument in order; nothing else in the
// template is special. A placeholder without an argument stays as written.
//   (L"copy %s failed, %d", {L"a.txt", 5}) => L"copy a.txt failed, 5"
//   (L"100% %d", {}) => L"100% %d"
std::wstring FormatTemplate(std::wstring_view tmpl, std::initializer_list<FormatArg> args);

// The prefix of every record: 5120 => L"threadid:5120 ".
std::wstring ThreadPrefix(std::uint32_t thread_id);

}  // namespace orvek::log
