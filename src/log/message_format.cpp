#include "log/message_format.h"

namespace orvek::log {

std::wstring FormatTemplate(std::wstring_view tmpl, std::initializer_list<FormatArg> args) {
  std::wstring out;
  const FormatArg* next = args.begin();
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    const bool placeholder = tmpl[i] == L'%' && i + 1 < tmpl.size() && (tmpl[i + 1] == L's' || tmpl[i + 1] == L'd');
    if (placeholder && next != args.end()) {
      out += (next++)->Text();
      ++i;
    } else {
      out += tmpl[i];
    }
  }
  return out;
}

std::wstring ThreadPrefix(std::uint32_t thread_id) { return L"threadid:" + std::to_wstring(thread_id) + L" "; }

}  // namespace orvek::log
