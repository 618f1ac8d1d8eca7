#include "log/layout.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/unicode.h"

namespace orvek::log {
namespace {

std::string ClassName(const std::exception& failure) {
  const char* mangled = typeid(failure).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string(mangled);
}

}  // namespace

std::wstring TSimpleLayout::Format(const TLoggingEvent& event) const {
  std::wstring text(event.FLevel->ToString());
  text += L" - ";
  text += event.FMsg;
  return text;
}

std::wstring FailureText(const TLoggingEvent& event) {
  if (event.FException == nullptr) return {};
  return base::WideFromUtf8(ClassName(*event.FException)) + L": " +
         base::WideFromUtf8(event.FException->what());
}

}  // namespace orvek::log
