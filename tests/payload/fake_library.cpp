// A DLL that loads but is not the archive library: with
// ORVEK_EXPORT_CREATE_OBJECT it exports only CreateObject, without it nothing.
#include <windows.h>

#ifdef ORVEK_EXPORT_CREATE_OBJECT
extern "C" __declspec(dllexport) HRESULT WINAPI CreateObject(const GUID*, const GUID*, void** object) {
  *object = nullptr;
  return E_NOTIMPL;
}
#else
extern "C" __declspec(dllexport) int NotTheArchiveLibrary() { return 0; }
#endif
