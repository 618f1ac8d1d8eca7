#include "log/appender.h"

#include "base/unicode.h"

namespace orvek::log {

void TAppender::DoAppend(const TLoggingEvent& event) {
  if (FClosed || !IsAsSevereAsThreshold(*event.FLevel)) return;
  Append(event);
}

bool TAppender::IsAsSevereAsThreshold(const TLevel& level) const {
  return FThreshold == nullptr || level.IsGreaterOrEqual(*FThreshold);
}

void TWriterAppender::Append(const TLoggingEvent& event) {
  if (FClosed || !FWriter || !FLayout) return;
  // A failed write loses the record; the caller is never told.
  FWriter->Println(FLayout->Format(event));
  if (!FLayout->IgnoresException() && event.FException != nullptr) {
    FWriter->Println(L"Exception: " + base::WideFromUtf8(event.FException->what()));
  }
}

}  // namespace orvek::log
