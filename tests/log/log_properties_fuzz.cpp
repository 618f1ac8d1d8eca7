// A planted "log.properties": decoded, parsed and applied as at start-up, on
// files held in memory, then one record logged. Nothing escapes the
// configurator, lines stay apart, and a record costs at most a bounded
// multiple of the configuration's size.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/unicode.h"
#include "log/pattern_layout.h"
#include "log/property_configurator.h"

namespace {

using namespace orvek::log;

class MemoryPlatform final : public Platform {
 public:
  explicit MemoryPlatform(std::string configuration) : configuration_(std::move(configuration)) {}
  std::int64_t written = 0;

  bool FileExists(const std::wstring& path) override { return files_.count(path) != 0; }
  bool ForceDirectories(const std::wstring&) override { return true; }
  std::unique_ptr<TFileStream> OpenForAppend(const std::wstring& path) override {
    auto& size = files_[path];
    if (!size) size = std::make_shared<std::int64_t>(0);
    return std::make_unique<Stream>(size, written);
  }
  std::unique_ptr<TFileStream> CreateEmpty(const std::wstring& path) override {
    files_[path] = std::make_shared<std::int64_t>(0);
    return OpenForAppend(path);
  }
  bool RemoveFile(const std::wstring& path) override { return files_.erase(path) != 0; }
  bool RenameFile(const std::wstring& from, const std::wstring& to) override {
    if (!files_.count(from) || files_.count(to)) return false;
    files_[to] = files_[from];
    files_.erase(from);
    return true;
  }
  std::string ReadWholeFile(const std::wstring&, std::size_t max_bytes) override {
    return configuration_.substr(0, max_bytes + 1);
  }
  std::wstring ProgramDirectory() override { return L"C:\\setup"; }
  std::wstring AnsiToWide(std::string_view bytes) override { return orvek::base::WideFromUtf8(bytes); }
  std::string WideToAnsi(std::wstring_view text) override { return orvek::base::Utf8FromWide(text); }

 private:
  struct Stream final : TFileStream {
    Stream(std::shared_ptr<std::int64_t> size, std::int64_t& total) : size_(std::move(size)), total_(total) {}
    bool Write(std::string_view bytes) override {
      *size_ += static_cast<std::int64_t>(bytes.size());
      total_ += static_cast<std::int64_t>(bytes.size());
      return true;
    }
    std::int64_t Position() override { return *size_; }
    std::shared_ptr<std::int64_t> size_;
    std::int64_t& total_;
  };
  std::string configuration_;
  std::map<std::wstring, std::shared_ptr<std::int64_t>> files_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryPlatform platform(std::string(reinterpret_cast<const char*>(data), size));
  const std::wstring text = DecodePropertyBytes(platform.ReadWholeFile(L"", size), platform);
  const TProperties properties = TProperties::Parse(text);
  for (const auto& [key, value] : properties.Entries()) {
    if ((key + value).find_first_of(L"\r\n") != std::wstring::npos) __builtin_trap();
  }
  TPatternLayout(text.substr(0, kMaxPatternLength)).Format(TLoggingEvent{&kInfo, L"m", {}, nullptr, L"ROOT"});

  LoggerRegistry registry;
  InternalLog trace(platform);
  TPropertyConfigurator configurator(registry, platform, trace);
  configurator.RestrictFilesTo(L"C:\\temp\\orvek", L"C:\\temp\\orvek\\teacher-install.log");
  configurator.ConfigureFromFile(L"log.properties");
  const std::int64_t before = platform.written;
  registry.GetInstance().Log(kError, L"m", LocalTime{2024, 3, 5, 9, 7, 2, 45});
  if (platform.written - before > 4000 * static_cast<std::int64_t>(size) + 4096) __builtin_trap();
  registry.FreeInstances();
  return 0;
}
