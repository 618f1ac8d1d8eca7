// The installer's archive reader around the 7-Zip library (7z.dll): loads the
// library by path, opens one archive from a file and extracts all of it below
// a directory, reporting progress. One object both drives the library and
// answers its callbacks.
//
// Call order, as the library drives it:
//   OpenArchiveFile -> IInArchive::Open -> IArchiveOpenCallback::SetTotal /
//     SetCompleted, ICryptoGetTextPassword (encrypted item list only)
//   ExtractAllBelow -> IInArchive::Extract -> IProgress::SetTotal once, then
//     per item: GetStream, PrepareOperation, (stream writes, SetCompleted,
//     CryptoGetTextPassword once), stream released, SetOperationResult.
// GetStream/PrepareOperation/SetOperationResult never run concurrently;
// progress may arrive on a thread of the library. No exception crosses back
// into the library: a failure inside a callback is kept and raised by the
// operation that started the library call.
//
// Everything here runs on the thread that calls the reader (the install
// worker), except the progress callback (see T7zProgressCallback).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

#include "base/com_ptr.h"
#include "base/unique_handle.h"
#include "payload/seven_zip_interfaces.h"

namespace orvek::payload {

// A failure of the reader or the library; what() is UTF-8.
class SevenZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive itself cannot be read: the library does not take it as an
// archive (truncated, not 7z), an item fails its data or CRC check or its
// password, or an item's path is unsafe. The installer file is damaged, as
// opposed to the machine failing (a full disk, a locked file).
class ArchiveDamagedError : public SevenZipError {
 public:
  using SevenZipError::SevenZipError;
};


// Progress notice: `total` true for the library's announcement of the whole
// amount, false for a completed amount; `value` counts unpacked bytes over the
// whole extraction. Answer 0 to go on. May run on a thread of the library.
using T7zProgressCallback = std::int32_t (*)(void* sender, bool total, std::int64_t value);

enum NECallBack { EC_RETRY = 0, EC_IGNORE = 1, EC_CANCEL = 2 };
// Decides what happens when an item's file cannot be created (`file`).
using T7zProgressExceptCallback = NECallBack (*)(void* sender, const wchar_t* file);

enum T7zStreamOwnership { soOwned, soReference };

// The library's interfaces have no virtual destructor (plain COM layout);
// these objects are destroyed only through their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Adapter from a file handle to the library's stream interfaces. soOwned
// closes the file when the last reference goes; soReference leaves it open.
class T7zStream final : public sevenzip::IInStream,
                        public sevenzip::IOutStream,
                        public sevenzip::IStreamGetSize,
                        public sevenzip::IOutStreamFlush {
 public:
  T7zStream(HANDLE file, T7zStreamOwnership ownership) noexcept;
  T7zStream(const T7zStream&) = delete;
  T7zStream& operator=(const T7zStream&) = delete;

  // Closes an owned file now (so it can be deleted while the library may
  // still hold the adapter); later calls fail with E_HANDLE.
  void CloseFile() noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* data, UINT32 size, UINT32* processed) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, UINT32 size, UINT32* processed) override;
  HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 origin, UINT64* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(UINT64 size) override;
  HRESULT STDMETHODCALLTYPE GetSize(UINT64* size) override;
  HRESULT STDMETHODCALLTYPE Flush() override;

 private:
  ~T7zStream();

  std::atomic<ULONG> FRefCount{1};
  HANDLE FStream;
  T7zStreamOwnership FOwnership;
  base::UniqueHandle FOwnedStream;  // FStream when soOwned
};

// The installer-facing operations. Each raises SevenZipError (or RangeError
// for an item size) on failure; none returns an error code.
class I7zInArchive : public IUnknown {
 public:
  virtual void AssignClassId(const GUID& class_id) = 0;
  virtual void AssignPassword(const std::wstring& password) = 0;
  virtual void AssignProgressCallback(void* sender, T7zProgressCallback callback) = 0;
  // Decoder threads for the archives opened after this; 0 (the start) leaves
  // the library's choice, one per processor. With more than one, the library
  // decodes a multi-block archive block-parallel and holds whole unpacked
  // blocks in memory meanwhile. A library that refuses the count keeps its
  // own choice; OpenArchiveFile logs that and goes on.
  virtual void AssignDecoderThreads(std::uint32_t count) = 0;
  virtual void OpenArchiveFile(const std::wstring& path) = 0;
  virtual std::uint32_t ReadItemCount() = 0;
  virtual bool ReadItemIsFolder(std::uint32_t index) = 0;
  // Raises RangeError for 2,147,483,648 bytes or more.
  virtual std::uint32_t ReadItemSize(std::uint32_t index) = 0;
  virtual std::wstring ReadItemPath(std::uint32_t index) = 0;
  // Writes every file item to `directory` + its item path. Refuses the whole
  // archive, before writing anything, when any item path could leave the
  // directory (path_rules.h). Fails when an item cannot be created or the
  // library reports an item result other than OK; a damaged item's file is
  // removed again.
  virtual void ExtractAllBelow(const std::wstring& directory) = 0;

 protected:
  ~I7zInArchive() = default;
};

// Holds the library loaded; unloaded when the last reference goes.
class T7zPlugin {
 public:
  // Fails with "Error loading library <path>" or "<path> is not a 7z library".
  explicit T7zPlugin(const std::wstring& library_path);
  T7zPlugin(const T7zPlugin&) = delete;
  T7zPlugin& operator=(const T7zPlugin&) = delete;
  virtual ~T7zPlugin() = default;

 protected:
  ULONG AddReference() noexcept { return ++FRefCount; }
  ULONG ReleaseReference() noexcept;

  base::UniqueModule FHandle;
  sevenzip::CreateObjectFunc FCreateObject = nullptr;

 private:
  std::atomic<ULONG> FRefCount{1};
};

// A format library: also exports GetHandlerProperty and knows its handler.
class T7zArchive : public T7zPlugin {
 public:
  // Fails as T7zPlugin, or with "<path> is not a Format library".
  explicit T7zArchive(const std::wstring& library_path);

 protected:
  sevenzip::GetHandlerPropertyFunc FGetHandlerProperty = nullptr;
  GUID FClassId{};
};

class T7zInArchive final : public T7zArchive,
                           public I7zInArchive,
                           public sevenzip::IArchiveOpenCallback,
                           public sevenzip::IArchiveOpenVolumeCallback,
                           public sevenzip::IArchiveOpenSetSubArchiveName,
                           public sevenzip::IArchiveExtractCallback,
                           public sevenzip::ICryptoGetTextPassword {
 public:
  explicit T7zInArchive(const std::wstring& library_path);

  // Tests and callers other than the installer: what to do with a file that
  // cannot be created (the installer leaves it unset: EC_CANCEL).
  void AssignProgressExceptCallback(void* sender, T7zProgressExceptCallback callback);

  void AssignClassId(const GUID& class_id) override;
  void AssignPassword(const std::wstring& password) override;
  void AssignProgressCallback(void* sender, T7zProgressCallback callback) override;
  void AssignDecoderThreads(std::uint32_t count) override;
  void OpenArchiveFile(const std::wstring& path) override;
  std::uint32_t ReadItemCount() override;
  bool ReadItemIsFolder(std::uint32_t index) override;
  std::uint32_t ReadItemSize(std::uint32_t index) override;
  std::wstring ReadItemPath(std::uint32_t index) override;
  void ExtractAllBelow(const std::wstring& directory) override;

  // IUnknown, shared by every interface above.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IArchiveOpenCallback
  HRESULT STDMETHODCALLTYPE SetTotal(const UINT64* files, const UINT64* bytes) override;
  HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* files, const UINT64* bytes) override;
  // IArchiveOpenVolumeCallback
  HRESULT STDMETHODCALLTYPE GetProperty(PROPID prop, PROPVARIANT* value) override;
  HRESULT STDMETHODCALLTYPE GetStream(const wchar_t* name, sevenzip::IInStream** stream) override;
  // IArchiveOpenSetSubArchiveName
  HRESULT STDMETHODCALLTYPE SetSubArchiveName(const wchar_t* name) override;
  // IProgress
  HRESULT STDMETHODCALLTYPE SetTotal(UINT64 total) override;
  HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* completed) override;
  // IArchiveExtractCallback
  HRESULT STDMETHODCALLTYPE GetStream(UINT32 index, sevenzip::ISequentialOutStream** stream,
                                      INT32 ask_mode) override;
  HRESULT STDMETHODCALLTYPE PrepareOperation(INT32 ask_mode) override;
  HRESULT STDMETHODCALLTYPE SetOperationResult(INT32 result) override;
  // ICryptoGetTextPassword
  HRESULT STDMETHODCALLTYPE CryptoGetTextPassword(BSTR* password) override;

 private:
  ~T7zInArchive() override = default;

  sevenzip::IInArchive& InArchive();
  PROPVARIANT ItemProperty(std::uint32_t index, PROPID prop);
  HRESULT CreateItemFile(std::uint32_t index, sevenzip::ISequentialOutStream** stream);
  // Keeps the first failure seen inside a callback; answers E_ABORT.
  // `damaged`: the archive is at fault (ArchiveDamagedError when rethrown).
  HRESULT Fail(std::string message, bool damaged = false) noexcept;
  void ThrowCallbackFailure();

  base::ComPtr<sevenzip::IInArchive> FInArchive;
  std::wstring FPassword;
  bool FPasswordIsDefined = false;
  T7zProgressCallback FProgressCallback = nullptr;
  void* FProgressSender = nullptr;
  T7zProgressExceptCallback FProgressExceptCallback = nullptr;
  void* FProgressExceptSender = nullptr;
  std::uint32_t FDecoderThreads = 0;
  std::wstring FExtractPath;
  std::wstring FSubArchiveName;

  // The item between GetStream and SetOperationResult.
  std::wstring FCurrentFile;
  base::ComPtr<T7zStream> FCurrentStream;

  std::mutex FFailureLock;
  std::string FCallbackFailure;
  bool FCallbackFailureDamaged = false;
};

#pragma GCC diagnostic pop

// Loads the library at `library_path` and makes a reader for the format
// handler `class_id`. Raises SevenZipError with the three loading texts.
base::ComPtr<I7zInArchive> CreateArchiveReader(const std::wstring& library_path, const GUID& class_id);

}  // namespace orvek::payload
