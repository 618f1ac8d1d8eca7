#include "log/level.h"

#include "base/text.h"

namespace orvek::log {

const TLevel* LevelFromName(std::wstring_view name) {
  static constexpr const TLevel* kLevels[] = {&kOff,  &kFatal, &kError, &kWarn,
                                              &kInfo, &kDebug, &kTrace, &kAll};
  for (const TLevel* level : kLevels) {
    if (base::SameText(level->ToString(), name)) return level;
  }
  return nullptr;
}

}  // namespace orvek::log
