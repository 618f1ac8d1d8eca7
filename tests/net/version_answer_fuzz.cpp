// The version service's answer, down to its verdict. It fails only in its
// two ways, and what the upload writer makes of a value reads back.
#include <cstdint>
#include <string_view>

#include "net/json_value.h"
#include "net/version_check_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  try {
    orvek::net::VersionVerdict(body);
    if (const auto value = orvek::net::ParseJson(body)) {
      if (!orvek::net::ParseJson(orvek::net::WriteJson(*value))) __builtin_trap();
    }
  } catch (const orvek::net::VersionAnswerError&) {
  } catch (const orvek::net::JsonLimitError&) {
  }
  return 0;
}
