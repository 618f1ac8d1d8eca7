// The parts of the 7-Zip library's COM-like interface that the archive reader
// uses, declared from the library's own headers (IArchive.h, IStream.h,
// IProgress.h, IPassword.h). Methods are listed in vtable order; a missing or
// reordered entry would call the wrong function. STDMETHODCALLTYPE makes them
// __stdcall on i686, as the library is built. The library's IUnknown has no
// virtual destructor, which is the plain COM layout of <unknwn.h>.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>
#include <propidl.h>
#include <unknwn.h>

#include <cstdint>

namespace orvek::payload::sevenzip {

// Interface ids are {23170F69-40C1-278A-0000-00gg00ii0000}: gg the group
// (3 streams, 5 passwords/progress ..., 6 archives), ii the interface.
constexpr GUID MakeIid(std::uint8_t group, std::uint8_t id) {
  return GUID{0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, id, 0, 0}};
}

// {23170F69-40C1-278A-1000-000110070000}: the 7z format handler.
constexpr GUID kClsid7zFormat = {0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

constexpr GUID kIidSequentialInStream = MakeIid(3, 0x01);
constexpr GUID kIidSequentialOutStream = MakeIid(3, 0x02);
constexpr GUID kIidInStream = MakeIid(3, 0x03);
constexpr GUID kIidOutStream = MakeIid(3, 0x04);
constexpr GUID kIidStreamGetSize = MakeIid(3, 0x06);
constexpr GUID kIidOutStreamFlush = MakeIid(3, 0x07);
constexpr GUID kIidProgress = MakeIid(0, 0x05);
constexpr GUID kIidCryptoGetTextPassword = MakeIid(5, 0x10);
constexpr GUID kIidArchiveOpenCallback = MakeIid(6, 0x10);
constexpr GUID kIidArchiveExtractCallback = MakeIid(6, 0x20);
constexpr GUID kIidArchiveOpenVolumeCallback = MakeIid(6, 0x30);
constexpr GUID kIidArchiveOpenSetSubArchiveName = MakeIid(6, 0x50);
constexpr GUID kIidInArchive = MakeIid(6, 0x60);
constexpr GUID kIidSetProperties = MakeIid(6, 0x03);

// Item property ids.
constexpr PROPID kpidPath = 3;
constexpr PROPID kpidIsDir = 6;
constexpr PROPID kpidSize = 7;

// Ask modes of IArchiveExtractCallback::GetStream.
constexpr std::int32_t kAskExtract = 0;

// Item results of IArchiveExtractCallback::SetOperationResult.
enum OperationResult : std::int32_t {
  kResultOk = 0,
  kResultUnsupportedMethod = 1,
  kResultDataError = 2,
  kResultCrcError = 3,
  kResultUnavailable = 4,
  kResultUnexpectedEnd = 5,
  kResultDataAfterEnd = 6,
  kResultIsNotArc = 7,
  kResultHeadersError = 8,
  kResultWrongPassword = 9,
};

// The interfaces are pure tables of function pointers shared with the DLL;
// objects are destroyed through Release, never through these types, so they
// carry no destructor of their own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

struct ISequentialInStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* data, UINT32 size, UINT32* processed) = 0;
};

struct ISequentialOutStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Write(const void* data, UINT32 size, UINT32* processed) = 0;
};

struct IInStream : public ISequentialInStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 origin, UINT64* position) = 0;
};

struct IOutStream : public ISequentialOutStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 origin, UINT64* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(UINT64 size) = 0;
};

struct IStreamGetSize : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSize(UINT64* size) = 0;
};

// Named IOutStreamFinish in the library's headers: the end-of-output notice.
struct IOutStreamFlush : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
};

struct IProgress : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetTotal(UINT64 total) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* completed) = 0;
};

struct ICryptoGetTextPassword : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CryptoGetTextPassword(BSTR* password) = 0;
};

struct IArchiveOpenCallback : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetTotal(const UINT64* files, const UINT64* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* files, const UINT64* bytes) = 0;
};

struct IArchiveExtractCallback : public IProgress {
  virtual HRESULT STDMETHODCALLTYPE GetStream(UINT32 index, ISequentialOutStream** stream,
                                              INT32 ask_mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareOperation(INT32 ask_mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOperationResult(INT32 result) = 0;
};

struct IArchiveOpenVolumeCallback : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetProperty(PROPID prop, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStream(const wchar_t* name, IInStream** stream) = 0;
};

struct IArchiveOpenSetSubArchiveName : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetSubArchiveName(const wchar_t* name) = 0;
};

struct IInArchive : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open(IInStream* stream, const UINT64* max_start_position,
                                         IArchiveOpenCallback* callback) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfItems(UINT32* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProperty(UINT32 index, PROPID prop, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extract(const UINT32* indices, UINT32 count, INT32 test_mode,
                                            IArchiveExtractCallback* callback) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArchiveProperty(PROPID prop, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfProperties(UINT32* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyInfo(UINT32 index, BSTR* name, PROPID* prop,
                                                    VARTYPE* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfArchiveProperties(UINT32* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArchivePropertyInfo(UINT32 index, BSTR* name, PROPID* prop,
                                                           VARTYPE* type) = 0;
};

// Handler settings by name ("mt": decoder threads).
struct ISetProperties : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetProperties(const wchar_t* const* names, const PROPVARIANT* values,
                                                  UINT32 count) = 0;
};

#pragma GCC diagnostic pop

// The library's exports.
using CreateObjectFunc = HRESULT(WINAPI*)(const GUID* clsid, const GUID* iid, void** object);
using GetHandlerPropertyFunc = HRESULT(WINAPI*)(PROPID prop, PROPVARIANT* value);

}  // namespace orvek::payload::sevenzip
