#include "payload/payload_extraction.h"

#include <atomic>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

#include "base/system_message.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "payload/installer_file.h"
#include "payload/percent.h"
#include "payload/private_temp_folder.h"
#include "payload/seven_zip_reader.h"

namespace orvek::payload {

const wchar_t kArchivePassword[] = L"vorplank";

namespace {

constexpr wchar_t kTempArchiveName[] = L"\\orvekteacher-tmp.zip";
constexpr wchar_t kLibraryName[] = L"\\7z.dll";
// Big enough that the copy is not dominated by system calls, small enough
// that a 300 MB payload never sits in the 32-bit address space.
constexpr DWORD kCopyBufferSize = 64 * 1024;

[[noreturn]] void ThrowLastError() { throw SevenZipError(base::SystemMessageUtf8(::GetLastError())); }

base::UniqueHandle CreateNewFile(const std::wstring& path) {
  base::UniqueHandle file = base::MakeUniqueHandle(::CreateFileW(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowLastError();
  return file;
}

void WriteAll(HANDLE file, const void* data, DWORD size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes, size, &written, nullptr)) ThrowLastError();
    bytes += written;
    size -= written;
  }
}

struct ProgressContext {
  std::uint64_t size_sum = 0;
  const PayloadHooks* hooks = nullptr;
  // The percent handed to the window last; none yet at the start.
  std::atomic<std::int64_t> shown{std::numeric_limits<std::int64_t>::min()};
};

// The library may report from a thread of its own; nothing may escape into it.
// Its announcement of the total, made before the first byte, is logged but
// not shown: it would fill the bar, which then drops back to 0.
std::int32_t UnzipProgressCallback(void* sender, bool total, std::int64_t value) {
  auto* context = static_cast<ProgressContext*>(sender);
  const std::int32_t percent = PercentOf(value, context->size_sum);
  log::LogInfo(L"UnzipProgressCallback" + std::to_wstring(percent));
  if (total) return 0;
  // Most notices repeat the percent before them (small files come in bursts);
  // the window would show the same, so only a change is handed on.
  if (context->shown.exchange(percent) == percent) return 0;
  try {
    if (context->hooks->show_progress) context->hooks->show_progress(percent);
  } catch (const std::exception& e) {
    log::LogException(L"progress display error, ", e);
  }
  return 0;
}

// A reader for the archive copied into `folder`, with its password.
base::ComPtr<I7zInArchive> OpenPayloadCopy(const PayloadSource& source, const PrivateTempFolder& folder) {
  const std::wstring library_path = ExtractArchiveLibrary(folder.path(), source.library_module);
  base::ComPtr<I7zInArchive> reader = CreateArchiveReader(library_path, sevenzip::kClsid7zFormat);
  reader->AssignPassword(kArchivePassword);
  reader->AssignDecoderThreads(source.decoder_threads);
  return reader;
}

}  // namespace

std::wstring ExtractArchiveLibrary(const std::wstring& directory, HMODULE module) {
  HRSRC resource = ::FindResourceW(module, L"7ZDLL", L"TEXT");
  if (!resource) ThrowLastError();
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) ThrowLastError();
  const DWORD size = ::SizeofResource(module, resource);

  const std::wstring path = directory + kLibraryName;
  ::DeleteFileW(path.c_str());
  base::UniqueHandle file = CreateNewFile(path);
  WriteAll(file.get(), bytes, size);
  return path;
}

void CopyPayload(const std::wstring& installer_path, std::int64_t offset,
                 const std::wstring& archive_path) {
  base::UniqueHandle source = base::MakeUniqueHandle(
      ::CreateFileW(installer_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source) ThrowLastError();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(source.get(), &size)) ThrowLastError();
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  if (!::SetFilePointerEx(source.get(), position, nullptr, FILE_BEGIN)) ThrowLastError();

  base::UniqueHandle target = CreateNewFile(archive_path);
  // An offset at or past the end copies nothing; opening the empty archive
  // then fails like any other unreadable archive.
  std::int64_t remaining = size.QuadPart > offset ? size.QuadPart - offset : 0;
  std::vector<char> buffer(kCopyBufferSize);
  while (remaining > 0) {
    const DWORD want = remaining < kCopyBufferSize ? static_cast<DWORD>(remaining) : kCopyBufferSize;
    DWORD got = 0;
    if (!::ReadFile(source.get(), buffer.data(), want, &got, nullptr)) ThrowLastError();
    if (got == 0) break;
    WriteAll(target.get(), buffer.data(), got);
    remaining -= got;
  }
}

bool ExtractPayload(const PayloadSource& source, const std::wstring& install_dir,
                    const PayloadHooks& hooks) {
  const std::int32_t offset = GetPayloadOffset(source.installer_path);
  if (offset <= 0) {
    if (hooks.show_error_page) hooks.show_error_page(L"请关闭当前程序，重新安装！");
    log::LogError(L"get zip file postion less then 0");
    return false;
  }

  // Declared before the reader so that the library is unloaded (and the
  // archive closed) before the folder is removed.
  PrivateTempFolder folder;
  const std::wstring archive_path = folder.path() + kTempArchiveName;

  log::LogInfo(L"begin to analyze zip file...");
  log::LogInfo(L"begin to save zip file..." + archive_path);
  CopyPayload(source.installer_path, offset, archive_path);
  log::LogInfo(L"analyze zip file finished.");
  log::LogInfo(L"begin to get total filesize...");

  ProgressContext progress;
  progress.hooks = &hooks;
  {
    base::ComPtr<I7zInArchive> reader = OpenPayloadCopy(source, folder);
    reader->AssignProgressCallback(&progress, UnzipProgressCallback);
    reader->OpenArchiveFile(archive_path);

    const std::uint32_t count = reader->ReadItemCount();
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!reader->ReadItemIsFolder(i)) progress.size_sum = AddItemSize(progress.size_sum, reader->ReadItemSize(i));
    }
    log::LogInfo(L"get total filesize finished, " + std::to_wstring(progress.size_sum));
    log::LogInfo(L"begin to unzip file..." + install_dir);
    reader->ExtractAllBelow(install_dir);
    if (hooks.after_extract) hooks.after_extract();
  }
  log::LogInfo(L"unzip file finished.");
  return true;
}

std::vector<std::wstring> ListPayloadFiles(const PayloadSource& source) {
  const std::int32_t offset = GetPayloadOffset(source.installer_path);
  if (offset <= 0) throw ArchiveDamagedError("the payload offset is refused");
  std::vector<std::wstring> files;
  PrivateTempFolder folder;
  const std::wstring archive_path = folder.path() + kTempArchiveName;
  CopyPayload(source.installer_path, offset, archive_path);
  {
    base::ComPtr<I7zInArchive> reader = OpenPayloadCopy(source, folder);
    reader->OpenArchiveFile(archive_path);
    const std::uint32_t count = reader->ReadItemCount();
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!reader->ReadItemIsFolder(i)) files.push_back(reader->ReadItemPath(i));
    }
  }
  return files;
}

}  // namespace orvek::payload
