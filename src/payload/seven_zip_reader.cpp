#include "payload/seven_zip_reader.h"

#include <string>
#include <utility>

#include "base/bound_function.h"
#include "base/system_message.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "payload/path_rules.h"
#include "payload/percent.h"
#include "system/files/directories.h"

namespace orvek::payload {
namespace {

using namespace sevenzip;

constexpr UINT64 kMaxStartPosition = 1048576;
constexpr UINT32 kAllItems = 0xFFFFFFFF;

// Frees a PROPVARIANT the library filled, whatever happens to its value.
class PropVariant {
 public:
  PropVariant() noexcept { ::PropVariantInit(&value_); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;
  ~PropVariant() { ::PropVariantClear(&value_); }
  PROPVARIANT* put() noexcept {
    ::PropVariantClear(&value_);
    return &value_;
  }
  const PROPVARIANT& get() const noexcept { return value_; }

 private:
  PROPVARIANT value_;
};

// Library result of 0 passes; anything else fails. The library answers
// S_FALSE (whose system text is "Invalid function.") when the data is not
// what it expects, which for our own payload means a wrong password on an
// encrypted item list or a cut or damaged archive; `what` says which step
// failed, and an error code adds the system's text for it.
//   (S_FALSE, "opened") => "the archive could not be opened: wrong password or damaged archive"
//   (E_OUTOFMEMORY, "extracted") => "the archive could not be extracted, Not enough memory ..."
void CheckResult(HRESULT result, const char* what) {
  if (result == S_OK) return;
  const std::string step = std::string("the archive could not be ") + what;
  // S_FALSE: the library read the file and found nothing it can take.
  if (result == S_FALSE) throw ArchiveDamagedError(step + ": wrong password or damaged archive");
  throw SevenZipError(step + ", " + base::SystemMessageUtf8(static_cast<std::uint32_t>(result)));
}

std::wstring FormatPath(const wchar_t* pattern, const std::wstring& path) {
  std::wstring text(pattern);
  text.replace(text.find(L"%s"), 2, path);
  return text;
}

const char* ResultName(std::int32_t result) {
  switch (result) {
    case kResultUnsupportedMethod: return "unsupported method";
    case kResultDataError: return "data error";
    case kResultCrcError: return "CRC error";
    case kResultUnavailable: return "data unavailable";
    case kResultUnexpectedEnd: return "unexpected end of data";
    case kResultDataAfterEnd: return "data after end";
    case kResultIsNotArc: return "not an archive";
    case kResultHeadersError: return "headers error";
    case kResultWrongPassword: return "wrong password";
    default: return "unknown error";
  }
}

}  // namespace

// ---------------------------------------------------------------- T7zStream

T7zStream::T7zStream(HANDLE file, T7zStreamOwnership ownership) noexcept
    : FStream(file), FOwnership(ownership) {
  if (ownership == soOwned) FOwnedStream = base::MakeUniqueHandle(file);
}

T7zStream::~T7zStream() { CloseFile(); }

void T7zStream::CloseFile() noexcept {
  if (FOwnership == soOwned) FOwnedStream.reset();
  FStream = nullptr;
}

HRESULT T7zStream::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == kIidInStream || iid == kIidSequentialInStream) {
    *object = static_cast<IInStream*>(this);
  } else if (iid == kIidOutStream || iid == kIidSequentialOutStream) {
    *object = static_cast<IOutStream*>(this);
  } else if (iid == kIidStreamGetSize) {
    *object = static_cast<IStreamGetSize*>(this);
  } else if (iid == kIidOutStreamFlush) {
    *object = static_cast<IOutStreamFlush*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG T7zStream::AddRef() { return ++FRefCount; }

ULONG T7zStream::Release() {
  const ULONG count = --FRefCount;
  if (count == 0) delete this;
  return count;
}

// Unlike a plain pass-through, a failed read or write reports the system's
// error: a full disk must not look like a completed item.
HRESULT T7zStream::Read(void* data, UINT32 size, UINT32* processed) {
  if (processed) *processed = 0;
  if (!FStream) return E_HANDLE;
  DWORD done = 0;
  if (!::ReadFile(FStream, data, size, &done, nullptr)) return HRESULT_FROM_WIN32(::GetLastError());
  if (processed) *processed = done;
  return S_OK;
}

HRESULT T7zStream::Write(const void* data, UINT32 size, UINT32* processed) {
  if (processed) *processed = 0;
  if (!FStream) return E_HANDLE;
  DWORD done = 0;
  if (!::WriteFile(FStream, data, size, &done, nullptr)) return HRESULT_FROM_WIN32(::GetLastError());
  if (processed) *processed = done;
  return S_OK;
}

HRESULT T7zStream::Seek(INT64 offset, UINT32 origin, UINT64* position) {
  if (!FStream) return E_HANDLE;
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER now{};
  if (!::SetFilePointerEx(FStream, distance, &now, origin)) return HRESULT_FROM_WIN32(::GetLastError());
  if (position) *position = static_cast<UINT64>(now.QuadPart);
  return S_OK;
}

HRESULT T7zStream::SetSize(UINT64 size) {
  if (!FStream) return E_HANDLE;
  LARGE_INTEGER here{};
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(FStream, zero, &here, FILE_CURRENT)) return HRESULT_FROM_WIN32(::GetLastError());
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = ::SetFilePointerEx(FStream, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(FStream);
  const DWORD error = ::GetLastError();
  ::SetFilePointerEx(FStream, here, nullptr, FILE_BEGIN);
  return ok ? S_OK : HRESULT_FROM_WIN32(error);
}

HRESULT T7zStream::GetSize(UINT64* size) {
  if (!FStream) return E_HANDLE;
  LARGE_INTEGER value{};
  if (!::GetFileSizeEx(FStream, &value)) return HRESULT_FROM_WIN32(::GetLastError());
  if (size) *size = static_cast<UINT64>(value.QuadPart);
  return S_OK;
}

HRESULT T7zStream::Flush() { return S_OK; }

// ---------------------------------------------------------------- T7zPlugin

T7zPlugin::T7zPlugin(const std::wstring& library_path)
    : FHandle(::LoadLibraryW(library_path.c_str())) {
  if (!FHandle) throw SevenZipError(base::Utf8FromWide(FormatPath(L"Error loading library %s", library_path)));
  FCreateObject = base::BindFunction<CreateObjectFunc>(FHandle.get(), "CreateObject");
  if (!FCreateObject) {
    throw SevenZipError(base::Utf8FromWide(FormatPath(L"%s is not a 7z library", library_path)));
  }
}

ULONG T7zPlugin::ReleaseReference() noexcept {
  const ULONG count = --FRefCount;
  if (count == 0) delete this;
  return count;
}

T7zArchive::T7zArchive(const std::wstring& library_path) : T7zPlugin(library_path) {
  FGetHandlerProperty = base::BindFunction<GetHandlerPropertyFunc>(FHandle.get(), "GetHandlerProperty");
  if (!FGetHandlerProperty) {
    throw SevenZipError(base::Utf8FromWide(FormatPath(L"%s is not a Format library", library_path)));
  }
}

// ---------------------------------------------------------------- T7zInArchive

T7zInArchive::T7zInArchive(const std::wstring& library_path) : T7zArchive(library_path) {}

void T7zInArchive::AssignClassId(const GUID& class_id) { FClassId = class_id; }

void T7zInArchive::AssignPassword(const std::wstring& password) {
  FPassword = password;
  FPasswordIsDefined = !password.empty();
}

void T7zInArchive::AssignProgressCallback(void* sender, T7zProgressCallback callback) {
  FProgressSender = sender;
  FProgressCallback = callback;
}

void T7zInArchive::AssignDecoderThreads(std::uint32_t count) { FDecoderThreads = count; }

void T7zInArchive::AssignProgressExceptCallback(void* sender, T7zProgressExceptCallback callback) {
  FProgressExceptSender = sender;
  FProgressExceptCallback = callback;
}

IInArchive& T7zInArchive::InArchive() {
  if (!FInArchive) {
    const HRESULT result =
        FCreateObject(&FClassId, &kIidInArchive, reinterpret_cast<void**>(FInArchive.put()));
    if (FAILED(result) || !FInArchive) {
      throw SevenZipError(
          base::SystemMessageUtf8(static_cast<std::uint32_t>(FAILED(result) ? result : E_NOINTERFACE)));
    }
  }
  return *FInArchive.get();
}

void T7zInArchive::OpenArchiveFile(const std::wstring& path) {
  base::UniqueHandle file = base::MakeUniqueHandle(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw SevenZipError(base::SystemMessageUtf8(::GetLastError()));
  base::ComPtr<T7zStream> stream;
  *stream.put() = new T7zStream(file.get(), soOwned);
  file.release();  // the stream owns it now
  IInArchive& archive = InArchive();
  if (FDecoderThreads > 0) {
    // A tuning: a library without the setting, or one that refuses it,
    // decodes with its own choice, which is slower or bigger, not wrong.
    base::ComPtr<ISetProperties> settings;
    if (SUCCEEDED(archive.QueryInterface(kIidSetProperties, reinterpret_cast<void**>(settings.put())))) {
      const wchar_t* const names[] = {L"mt"};
      PROPVARIANT value;
      ::PropVariantInit(&value);
      value.vt = VT_UI4;
      value.ulVal = FDecoderThreads;
      const HRESULT result = settings->SetProperties(names, &value, 1);
      if (result != S_OK) {
        log::LogWarn(L"decoder threads " + std::to_wstring(FDecoderThreads) + L" refused by the library, " +
                     base::WideFromUtf8(base::SystemMessageUtf8(static_cast<std::uint32_t>(result))) +
                     L", its own choice used");
      }
    }
  }
  const UINT64 max_start = kMaxStartPosition;
  CheckResult(archive.Open(stream.get(), &max_start, static_cast<IArchiveOpenCallback*>(this)), "opened");
}

std::uint32_t T7zInArchive::ReadItemCount() {
  UINT32 count = 0;
  CheckResult(InArchive().GetNumberOfItems(&count), "listed");
  return count;
}

bool T7zInArchive::ReadItemIsFolder(std::uint32_t index) {
  PropVariant value;
  InArchive().GetProperty(index, kpidIsDir, value.put());
  return value.get().vt == VT_BOOL && value.get().boolVal != VARIANT_FALSE;
}

std::uint32_t T7zInArchive::ReadItemSize(std::uint32_t index) {
  PropVariant value;
  InArchive().GetProperty(index, kpidSize, value.put());
  switch (value.get().vt) {
    case VT_UI8: return CheckedItemSize(value.get().uhVal.QuadPart);
    case VT_UI4: return CheckedItemSize(value.get().ulVal);
    default: return 0;
  }
}

std::wstring T7zInArchive::ReadItemPath(std::uint32_t index) {
  PropVariant value;
  InArchive().GetProperty(index, kpidPath, value.put());
  if (value.get().vt != VT_BSTR || !value.get().bstrVal) return std::wstring();
  return std::wstring(value.get().bstrVal, ::SysStringLen(value.get().bstrVal));
}

void T7zInArchive::ExtractAllBelow(const std::wstring& directory) {
  // Every path is checked before the first byte is written: the installer
  // runs elevated, and a refused archive must leave nothing behind.
  const std::uint32_t count = ReadItemCount();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::wstring item = ReadItemPath(i);
    if (!IsSafeItemPath(item)) {
      throw ArchiveDamagedError("unsafe item path " + base::Utf8FromWide(ReadableItemPath(item)));
    }
  }

  FExtractPath = directory;
  if (FExtractPath.empty() || FExtractPath.back() != L'\\') FExtractPath += L'\\';
  {
    std::lock_guard<std::mutex> lock(FFailureLock);
    FCallbackFailure.clear();
    FCallbackFailureDamaged = false;
  }
  HRESULT result = E_FAIL;
  try {
    result = InArchive().Extract(nullptr, kAllItems, 0, static_cast<IArchiveExtractCallback*>(this));
  } catch (...) {
    FExtractPath.clear();
    throw;
  }
  FExtractPath.clear();
  FCurrentStream.reset();
  FCurrentFile.clear();
  ThrowCallbackFailure();
  CheckResult(result, "extracted");
}

void T7zInArchive::ThrowCallbackFailure() {
  std::string failure;
  bool damaged = false;
  {
    std::lock_guard<std::mutex> lock(FFailureLock);
    failure.swap(FCallbackFailure);
    damaged = std::exchange(FCallbackFailureDamaged, false);
  }
  if (failure.empty()) return;
  if (damaged) throw ArchiveDamagedError(failure);
  throw SevenZipError(failure);
}

HRESULT T7zInArchive::Fail(std::string message, bool damaged) noexcept {
  try {
    std::lock_guard<std::mutex> lock(FFailureLock);
    if (FCallbackFailure.empty()) {
      FCallbackFailure = std::move(message);
      FCallbackFailureDamaged = damaged;
    }
  } catch (...) {
  }
  return E_ABORT;
}

HRESULT T7zInArchive::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown) {
    *object = static_cast<IArchiveOpenCallback*>(this);
  } else if (iid == kIidArchiveOpenCallback) {
    *object = static_cast<IArchiveOpenCallback*>(this);
  } else if (iid == kIidArchiveOpenVolumeCallback) {
    *object = static_cast<IArchiveOpenVolumeCallback*>(this);
  } else if (iid == kIidArchiveOpenSetSubArchiveName) {
    *object = static_cast<IArchiveOpenSetSubArchiveName*>(this);
  } else if (iid == kIidArchiveExtractCallback || iid == kIidProgress) {
    *object = static_cast<IArchiveExtractCallback*>(this);
  } else if (iid == kIidCryptoGetTextPassword) {
    *object = static_cast<ICryptoGetTextPassword*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG T7zInArchive::AddRef() { return AddReference(); }
ULONG T7zInArchive::Release() { return ReleaseReference(); }

HRESULT T7zInArchive::SetTotal(const UINT64*, const UINT64*) { return S_OK; }
HRESULT T7zInArchive::SetCompleted(const UINT64*, const UINT64*) { return S_OK; }

HRESULT T7zInArchive::GetProperty(PROPID, PROPVARIANT*) { return S_OK; }

HRESULT T7zInArchive::GetStream(const wchar_t*, IInStream** stream) {
  if (stream) *stream = nullptr;
  return S_OK;
}

HRESULT T7zInArchive::SetSubArchiveName(const wchar_t* name) {
  try {
    FSubArchiveName = name ? name : L"";
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT T7zInArchive::SetTotal(UINT64 total) {
  if (!FProgressCallback) return S_OK;
  return FProgressCallback(FProgressSender, true, static_cast<std::int64_t>(total));
}

HRESULT T7zInArchive::SetCompleted(const UINT64* completed) {
  if (!FProgressCallback || !completed) return S_OK;
  return FProgressCallback(FProgressSender, false, static_cast<std::int64_t>(*completed));
}

HRESULT T7zInArchive::GetStream(UINT32 index, ISequentialOutStream** stream, INT32 ask_mode) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  try {
    FCurrentStream.reset();
    FCurrentFile.clear();
    if (FExtractPath.empty()) return S_OK;
    const std::wstring item = ReadItemPath(index);
    // Checked again here: the list was checked before Extract, but this is
    // the last moment before a path reaches CreateFileW.
    if (!IsSafeItemPath(item)) {
      return Fail("unsafe item path " + base::Utf8FromWide(ReadableItemPath(item)), true);
    }
    // Kept for skipped items too: after a damaged block the library skips the
    // rest of it, and the failure must still name an item.
    FCurrentFile = FExtractPath + item;
    if (ask_mode != kAskExtract || ReadItemIsFolder(index)) {
      // A folder comes into being only as the parent of a file.
      return S_OK;
    }
    return CreateItemFile(index, stream);
  } catch (const std::exception& e) {
    return Fail(e.what());
  } catch (...) {
    return Fail("unexpected failure");
  }
}

HRESULT T7zInArchive::CreateItemFile(std::uint32_t, ISequentialOutStream** stream) {
  const std::wstring& path = FCurrentFile;
  // Failures show up when the file itself cannot be created.
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) orvek::system::CreateDirectories(path.substr(0, slash));

  // Read-only, hidden or system files must be replaceable; the replaced
  // file's attributes are put back on the new one.
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = 0;
  if (attributes != 0 && attributes != FILE_ATTRIBUTE_NORMAL) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  for (;;) {
    base::UniqueHandle file = base::MakeUniqueHandle(::CreateFileW(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      *FCurrentStream.put() = new T7zStream(file.get(), soOwned);
      file.release();  // the stream owns it now
      if (attributes != 0 && attributes != FILE_ATTRIBUTE_NORMAL) {
        ::SetFileAttributesW(path.c_str(), attributes);
      }
      *stream = base::ComPtr<T7zStream>(FCurrentStream).detach();
      return S_OK;
    }
    const DWORD error = ::GetLastError();
    const NECallBack decision = FProgressExceptCallback
                                    ? FProgressExceptCallback(FProgressExceptSender, path.c_str())
                                    : EC_CANCEL;
    if (decision == EC_RETRY) continue;
    if (decision == EC_IGNORE) {
      FCurrentFile.clear();
      return S_OK;
    }
    Fail("can not create file " + base::Utf8FromWide(path) + ", " + base::SystemMessageUtf8(error));
    return S_FALSE;
  }
}

HRESULT T7zInArchive::PrepareOperation(INT32) { return S_OK; }

HRESULT T7zInArchive::SetOperationResult(INT32 result) {
  base::ComPtr<T7zStream> stream = std::move(FCurrentStream);
  const std::wstring file = std::exchange(FCurrentFile, std::wstring());
  if (stream) stream->CloseFile();
  if (result == kResultOk) return S_OK;
  // A damaged item must not pass for an installed file: it is removed and the
  // extraction fails naming it.
  if (stream && !file.empty()) {
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(file.c_str());
  }
  try {
    return Fail("item " + base::Utf8FromWide(file) + " failed, " + ResultName(result), true);
  } catch (...) {
    return Fail("item failed", true);
  }
}

HRESULT T7zInArchive::CryptoGetTextPassword(BSTR* password) {
  if (!password) return E_POINTER;
  *password = nullptr;
  if (!FPasswordIsDefined) return S_FALSE;
  *password = ::SysAllocString(FPassword.c_str());
  return *password ? S_OK : E_OUTOFMEMORY;
}

base::ComPtr<I7zInArchive> CreateArchiveReader(const std::wstring& library_path, const GUID& class_id) {
  T7zInArchive* reader = new T7zInArchive(library_path);  // count 1, adopted below
  base::ComPtr<I7zInArchive> result;
  *result.put() = reader;
  reader->AssignClassId(class_id);
  return result;
}

}  // namespace orvek::payload
