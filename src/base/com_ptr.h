// One owner of a COM reference: AddRef on copy, Release on reset, so no path
// through a COM client (the archive reader, shell links, WMI) forgets a
// Release or does one too many.
#pragma once

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

}  // namespace orvek::base
