// One owner of a COM reference: AddRef on copy, Release on reset, so no path
// through a COM client (the archive reader, shell links, WMI) forgets a
// Release or does one too many.
#pragma once

#include <objbase.h>
#include <unknwn.h>

#include <utility>

namespace orvek::base {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  // Takes a new reference to `p` (does not adopt one).
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // For out-parameters that hand over a reference (CreateObject, QueryInterface).
  T** put() noexcept {
    reset();
    return &p_;
  }
  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives the reference to the caller, e.g. as an out-parameter of a callback.
  T* detach() noexcept { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

// Enters the single-threaded COM apartment for the calling thread and leaves
// it again at the end of the scope, but only when this object entered it (a
// thread already in another apartment keeps it).
class ScopedCoInitialize {
 public:
  ScopedCoInitialize() noexcept : entered_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ScopedCoInitialize(const ScopedCoInitialize&) = delete;
  ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;
  ~ScopedCoInitialize() {
    if (entered_) ::CoUninitialize();
  }

 private:
  bool entered_;
};

}  // namespace orvek::base
