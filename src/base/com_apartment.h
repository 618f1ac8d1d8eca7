// Keeping COM usable on the calling thread for one operation, and owning the
// memory COM hands out (Windows only).
#pragma once

#include <objbase.h>

#include "base/unique_handle.h"

namespace orvek::base {

namespace detail {
inline void FreeTaskMemory(void* memory) noexcept { ::CoTaskMemFree(memory); }
}  // namespace detail

// Memory a COM or shell function allocated for the caller with
// CoTaskMemAlloc: item ID lists of the folder browser, strings of
// IShellLink and the like.
template <typename T>
using UniqueTaskMemory = UniqueAny<T*, detail::FreeTaskMemory, static_cast<T*>(nullptr)>;

// Enters a COM apartment of the given model when the thread has none, and
// leaves it again at the end of the scope only in that case. A thread that is
// already in an apartment (of either model) keeps it: COM calls work there
// too, and leaving would pull the apartment from under its owner.
class ScopedCoInitialize {
 public:
  explicit ScopedCoInitialize(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : result_(::CoInitializeEx(nullptr, model)) {}
  ScopedCoInitialize(const ScopedCoInitialize&) = delete;
  ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;
  // S_OK and S_FALSE both count one initialisation that must be undone.
  ~ScopedCoInitialize() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

  // S_OK (entered), S_FALSE (already in this model), RPC_E_CHANGED_MODE
  // (already in the other model) or a failure.
  HRESULT result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

}  // namespace orvek::base
