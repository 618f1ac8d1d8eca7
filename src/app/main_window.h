// The installer's one window.
#pragma once

#include <windows.h>

namespace orvek::app {

class TfrmTeacherMain {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmTeacherMain";
  static constexpr const wchar_t* kCaption = L"Orvek教师客户端";
  static constexpr int kDesignWidth = 520;
  static constexpr int kDesignHeight = 388;

  TfrmTeacherMain();
  TfrmTeacherMain(const TfrmTeacherMain&) = delete;
  TfrmTeacherMain& operator=(const TfrmTeacherMain&) = delete;
  ~TfrmTeacherMain();

  HWND Handle() const { return hwnd_; }

  // Centres the window on the screen and shows it.
  void Show();

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  void OnPaint();

  HWND hwnd_ = nullptr;
};

}  // namespace orvek::app
