/* A small Windows program as the linker lays it out, for the format tests:
   two imported DLLs (three with COMMON_CONTROLS), and a known exit code to
   prove it still loads. */
#include <windows.h>
#ifdef COMMON_CONTROLS
#include <commctrl.h>
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance, (void)previous, (void)command_line, (void)show;
#ifdef COMMON_CONTROLS
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  if (GetTickCount() == 0) MessageBeep(MB_OK);
  return 7;
}
