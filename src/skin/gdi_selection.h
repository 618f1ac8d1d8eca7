// Keeps a GDI object selected into a device context for the guard's
// lifetime and puts the previous one back, so no painting path leaves a
// pen, font or bitmap selected (which would keep it from being freed).
#pragma once

#include <windows.h>

namespace orvek::skin {

class Selected {
 public:
  Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  ~Selected() { ::SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace orvek::skin
