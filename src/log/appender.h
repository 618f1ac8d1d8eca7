// Appenders: where a logger's events go. They are shared between loggers and
// destroyed when the last logger lets go (AppenderRef counts the references).
// The core has no lock of its own: the log unit holds the process-wide lock
// around every call into it.
#pragma once

#include <memory>
#include <string>

#include "log/layout.h"
#include "log/logging_event.h"
#include "log/print_writer.h"

namespace orvek::log {

class IAppender {
 public:
  virtual ~IAppender() = default;
  virtual void DoAppend(const TLoggingEvent& event) = 0;
  virtual const std::wstring& GetName() const = 0;
  virtual const TLayout* GetLayout() const = 0;
  virtual void SetName(std::wstring name) = 0;
  virtual void SetLayout(std::unique_ptr<TLayout> layout) = 0;
  virtual bool RequiresLayout() const = 0;
};

using AppenderRef = std::shared_ptr<IAppender>;

class TAppender : public IAppender {
 public:
  // Drops the event when the appender is closed or the level is below the
  // threshold; otherwise Append.
  void DoAppend(const TLoggingEvent& event) final;
  const std::wstring& GetName() const final { return FName; }
  const TLayout* GetLayout() const final { return FLayout.get(); }
  void SetName(std::wstring name) final { FName = std::move(name); }
  void SetLayout(std::unique_ptr<TLayout> layout) override { FLayout = std::move(layout); }
  bool RequiresLayout() const override { return false; }

  // No threshold (nullptr) lets every level pass.
  void SetThreshold(const TLevel* threshold) { FThreshold = threshold; }
  const TLevel* GetThreshold() const { return FThreshold; }
  bool IsAsSevereAsThreshold(const TLevel& level) const;
  bool IsClosed() const { return FClosed; }

 protected:
  // The name is the class name until SetName.
  explicit TAppender(std::wstring class_name) : FName(std::move(class_name)) {}
  virtual void Append(const TLoggingEvent& event) = 0;

  std::unique_ptr<TLayout> FLayout;
  const TLevel* FThreshold = nullptr;
  std::wstring FName;
  bool FClosed = false;
};

// Writes each event as one line: the layout's text and CR LF. Without a
// writer or a layout it writes nothing.
class TWriterAppender : public TAppender {
 public:
  bool RequiresLayout() const override { return true; }

 protected:
  using TAppender::TAppender;
  void Append(const TLoggingEvent& event) override;

  std::unique_ptr<TPrintWriter> FWriter;
};

}  // namespace orvek::log
