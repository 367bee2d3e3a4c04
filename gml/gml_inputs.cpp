#include "gml/gml_inputs.h"

#include "archive/zip_archive.h"
#include "platform/errors.h"
#include "platform/folder_search.h"
#include "platform/progress.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

constexpr std::string_view kArchivePattern = "*.zip";

// A tile read through it lets an interrupt through between its blocks: a tile may hold a
// gigabyte before its values, which takes no progress step.
class PollingStream final : public RawFile {
 public:
  PollingStream(std::unique_ptr<RawFile> stream, Progress& progress)
      : stream_(std::move(stream)), progress_(progress) {}

  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    progress_.poll();
    return stream_->read(buffer, size, error);
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    progress_.poll();
    return stream_->readAt(offset, buffer, size, error);
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    return stream_->write(data, size, error);
  }
  void close(std::error_code& error) override { stream_->close(error); }

 private:
  std::unique_ptr<RawFile> stream_;
  Progress& progress_;
};

// A tile of the folder, refused past the bound of an archive member: a larger one is no tile.
std::unique_ptr<RawFile> OpenTileFile(FileSystem& fs, const std::filesystem::path& path,
                                      std::uint64_t maxBytes, std::error_code& error) {
  std::unique_ptr<RawFile> file = fs.openRead(path, error);
  if (file == nullptr) return nullptr;
  const std::uint64_t size = fs.fileSize(path, error);
  if (error) return nullptr;
  if (size > maxBytes) {
    error = FileFault::kTooLarge;
    return nullptr;
  }
  return file;
}

}  // namespace

GmlInputs FindGmlInputs(FileSystem& fs, const std::filesystem::path& folder,
                        std::string_view pattern, const ArchiveLimits& limits) {
  GmlInputs inputs;
  inputs.names = SearchFolder(fs, folder, pattern);
  for (const std::string& archive : SearchFolder(fs, folder, kArchivePattern)) {
    ArchiveListing listing = ListArchiveMembers(fs, folder, archive, pattern, limits);
    for (std::string& location : listing.members) inputs.names.push_back(std::move(location));
    for (const UnreadableArchive& unreadable : listing.unreadable) {
      inputs.unreadable.push_back({folder / PathFromUtf8(unreadable.location),
                                   SkipReason::kArchiveUnreadable, unreadable.reason});
    }
  }
  return inputs;
}

std::filesystem::path GmlInputPath(const std::filesystem::path& folder, std::string_view name) {
  return folder / PathFromUtf8(name);
}

GmlInputReader::GmlInputReader(FileSystem& fs, const std::filesystem::path& folder,
                               const ArchiveLimits& limits, MemberReading reading)
    : fs_(fs), folder_(folder), limits_(limits), members_(fs, folder, limits, std::move(reading)) {}

std::optional<InputFile> GmlInputReader::open(std::string_view name, std::error_code& error) {
  std::unique_ptr<RawFile> stream =
      IsMemberLocation(name) ? members_.open(name, error)
                             : OpenTileFile(fs_, pathOf(name), limits_.maxMemberBytes, error);
  if (stream == nullptr) return std::nullopt;
  if (limits_.progress != nullptr) {
    stream = std::make_unique<PollingStream>(std::move(stream), *limits_.progress);
  }
  return InputFile::FromStream(std::move(stream), pathOf(name));
}

}  // namespace elevara
