// Not compiled: a COM method the library would call with the wrong convention.
#include <windows.h>

struct IOutStream : public IUnknown {
  virtual HRESULT Write(const void* data, UINT32 size, UINT32* processed) = 0;
};
