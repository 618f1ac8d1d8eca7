// The real archive library with one difference: its 7z handler refuses every
// setting, as a library built without them answers.
#include "payload/seven_zip_interfaces.h"

namespace {

namespace sz = orvek::payload::sevenzip;

template <class Function>
Function Export(const char* name) {
  static const HMODULE library = ::LoadLibraryW(ORVEK_REAL_7ZDLL);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// Destroyed through Release only, as every object the library hands out.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RefusingArchive final : public sz::IInArchive, public sz::ISetProperties {
 public:
  explicit RefusingArchive(sz::IInArchive* inner) : inner_(inner) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid == IID_IUnknown || iid == sz::kIidInArchive) *object = static_cast<sz::IInArchive*>(this);
    if (iid == sz::kIidSetProperties) *object = static_cast<sz::ISetProperties*>(this);
    if (*object) AddRef();
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--references_ > 0) return references_;
    inner_->Release();
    delete this;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE SetProperties(const wchar_t* const*, const PROPVARIANT*, UINT32) override {
    return E_INVALIDARG;
  }

  // Everything else is the real handler's.
  HRESULT STDMETHODCALLTYPE Open(sz::IInStream* s, const UINT64* max, sz::IArchiveOpenCallback* c) override {
    return inner_->Open(s, max, c);
  }
  HRESULT STDMETHODCALLTYPE Close() override { return inner_->Close(); }
  HRESULT STDMETHODCALLTYPE GetNumberOfItems(UINT32* n) override { return inner_->GetNumberOfItems(n); }
  HRESULT STDMETHODCALLTYPE GetProperty(UINT32 i, PROPID p, PROPVARIANT* v) override {
    return inner_->GetProperty(i, p, v);
  }
  HRESULT STDMETHODCALLTYPE Extract(const UINT32* i, UINT32 n, INT32 t, sz::IArchiveExtractCallback* c) override {
    return inner_->Extract(i, n, t, c);
  }
  HRESULT STDMETHODCALLTYPE GetArchiveProperty(PROPID p, PROPVARIANT* v) override {
    return inner_->GetArchiveProperty(p, v);
  }
  HRESULT STDMETHODCALLTYPE GetNumberOfProperties(UINT32* n) override { return inner_->GetNumberOfProperties(n); }
  HRESULT STDMETHODCALLTYPE GetPropertyInfo(UINT32 i, BSTR* n, PROPID* p, VARTYPE* t) override {
    return inner_->GetPropertyInfo(i, n, p, t);
  }
  HRESULT STDMETHODCALLTYPE GetNumberOfArchiveProperties(UINT32* n) override {
    return inner_->GetNumberOfArchiveProperties(n);
  }
  HRESULT STDMETHODCALLTYPE GetArchivePropertyInfo(UINT32 i, BSTR* n, PROPID* p, VARTYPE* t) override {
    return inner_->GetArchivePropertyInfo(i, n, p, t);
  }

 private:
  ~RefusingArchive() = default;
  sz::IInArchive* inner_;
  ULONG references_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI CreateObject(const GUID* clsid, const GUID* iid, void** object) {
  sz::IInArchive* inner = nullptr;
  const HRESULT result = Export<sz::CreateObjectFunc>("CreateObject")(clsid, iid, reinterpret_cast<void**>(&inner));
  *object = SUCCEEDED(result) ? static_cast<sz::IInArchive*>(new RefusingArchive(inner)) : nullptr;
  return result;
}

extern "C" __declspec(dllexport) HRESULT WINAPI GetHandlerProperty(PROPID prop, PROPVARIANT* value) {
  return Export<sz::GetHandlerPropertyFunc>("GetHandlerProperty")(prop, value);
}
