// A real main window, built in the test process from the program's skin.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/data_module.h"
#include "app/main_window.h"

namespace orvek::app {

// Reaches the window's private page operations.
class TfrmTeacherMainTestPeer {
 public:
  static void ShowPage(TfrmTeacherMain& w, TInstallPage page, const std::wstring& msg, bool error) {
    w.ShowPage(page, msg, error);
  }
  static void SetOptionsExpanded(TfrmTeacherMain& w, bool expand) { w.SetOptionsExpanded(expand); }
};

}  // namespace orvek::app

namespace orvek::test {

// Runs what is queued for this thread (paints, hand-offs).
inline void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// The log file of the facility, read from where the test began.
class LogFileTail {
 public:
  LogFileTail() : start_(Size()) {}
  std::string Appended() const;

 private:
  static std::wstring Path();
  static long long Size();
  long long start_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override { window_ = std::make_unique<app::TfrmTeacherMain>(); }
  void TearDown() override {
    window_.reset();
    PumpMessages();
  }

  app::TfrmTeacherMain& W() { return *window_; }
  void ShowPage(app::TInstallPage page, const std::wstring& msg, bool error) {
    app::TfrmTeacherMainTestPeer::ShowPage(*window_, page, msg, error);
  }
  void SetOptionsExpanded(bool expand) {
    app::TfrmTeacherMainTestPeer::SetOptionsExpanded(*window_, expand);
  }
  HWND FrontPage() { return ::GetWindow(W().pnlBottom->Handle(), GW_CHILD); }
  int Height() {
    RECT r{};
    ::GetWindowRect(W().Handle(), &r);
    return r.bottom - r.top;
  }

  std::unique_ptr<app::TfrmTeacherMain> window_;
};

}  // namespace orvek::test
