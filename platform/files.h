// Buffered files over the FileSystem seam. Every failure becomes a FileError that names the
// file and the system's reason; nothing fails silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace elevara {

// A file opened for reading, sequentially or at absolute positions.
class InputFile {
 public:
  // Throws FileError when the file cannot be opened.
  static InputFile Open(FileSystem& fs, const std::filesystem::path& path);
  // nullopt when nothing of that name exists, which for a tile is an ordinary gap. A file that
  // exists but cannot be opened (no permission, a folder of that name) throws FileError: the
  // user must hear of it.
  static std::optional<InputFile> OpenIfPresent(FileSystem& fs, const std::filesystem::path& path);
  // A stream opened another way (a member of an archive); its failures name `path`.
  static InputFile FromStream(std::unique_ptr<RawFile> stream, std::filesystem::path path) {
    return InputFile(std::move(stream), std::move(path));
  }

  InputFile(InputFile&&) noexcept = default;
  InputFile& operator=(InputFile&&) noexcept = default;
  ~InputFile() = default;

  // Both return the bytes read: fewer than asked only at the end of the file. Errors throw.
  std::size_t read(void* buffer, std::size_t size);
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size);

  const std::filesystem::path& path() const { return path_; }

 private:
  InputFile(std::unique_ptr<RawFile> file, std::filesystem::path path)
      : file_(std::move(file)), path_(std::move(path)) {}

  std::unique_ptr<RawFile> file_;
  std::filesystem::path path_;
};

// A file written from its first byte on, through a buffer of its own. close() must be called
// for the data to count: it flushes and reports what could not be stored.
class OutputFile {
 public:
  // Creates the file where nothing of that name exists: an existing file, and a link or a FIFO
  // above all, is never opened (file_exists). Throws FileError. Errors name `reportedPath`
  // when given: the name the user knows, for a file written under a temporary name.
  static OutputFile CreateNew(FileSystem& fs, const std::filesystem::path& path,
                              const std::filesystem::path& reportedPath = {});

  OutputFile(OutputFile&&) noexcept = default;
  OutputFile& operator=(OutputFile&&) noexcept = default;
  ~OutputFile();

  void write(const void* data, std::size_t size);
  void write(std::string_view text) { write(text.data(), text.size()); }
  // The bytes straight to the file, after what is buffered: for a caller that gathers large
  // blocks itself. A file written only so never makes its buffer (it is made at the first
  // buffered write), so that a file of a few blocks costs no buffer to set up.
  void writeUnbuffered(const void* data, std::size_t size);
  // One line of a text file: the text and CR LF, the same bytes on every platform.
  void writeLine(std::string_view text);
  // Writes `size` bytes over bytes written earlier, from `offset` on, for a file whose first
  // bytes are known last (a TIFF's directories); the writing goes on at the end. Throws
  // FileError, also for a range beyond what was written and for a file without positions.
  void overwrite(std::uint64_t offset, const void* data, std::size_t size);
  // Puts everything written so far on the disk itself. Throws FileError.
  void sync();
  // Ends the file where the writing stopped, for a file written over a longer earlier one.
  void endHere();
  void close();

  const std::filesystem::path& path() const { return path_; }

 private:
  friend class AtomicOutputFile;
  OutputFile(std::unique_ptr<RawFile> file, std::filesystem::path path);
  void flush();

  std::unique_ptr<RawFile> file_;
  std::filesystem::path path_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::uint64_t position_ = 0;  // bytes that reached the file
};

// Whether an output must survive a power cut once it has its name. Working files (tile rasters,
// the value file, the name lists) are rebuilt by every run, and putting each on the disk would
// cost more than the conversion of a tile. They are the run's own besides: one replaces
// whatever stands under its name in the folder, a symbolic link or a FIFO included, and is never
// written through it.
enum class Durability { kWorkingFile, kFinalOutput };

// An output that takes its name whole, replacing an earlier file of that name the way a careful
// editor saves one:
// - it is written to a temporary file beside the target, under a name that no other run uses
//   (see TemporaryPathFor), and commit() renames it over the target; a final output's data and
//   new name are on the disk when commit() returns;
// - an earlier file keeps its permission bits; a symbolic link stays, and the file it points to
//   is the one replaced (a working file replaces the link itself, see Durability);
// - a target that is not a regular file (a FIFO, a device), and an existing file in a folder
//   that takes no new file, are written in place instead: from the first byte on, cut to the new
//   length by commit(). A target in place is touched only once the first buffer of data
//   reaches it, so a small output (a sidecar) changes nothing before commit(). A FIFO that
//   nobody reads is an error, not a wait.
// Destroyed without commit(), it removes its temporary file and leaves any earlier file of the
// target's name untouched. Errors name the target.
class AtomicOutputFile {
 public:
  static AtomicOutputFile Create(FileSystem& fs, const std::filesystem::path& target,
                                 Durability durability = Durability::kFinalOutput);

  AtomicOutputFile(AtomicOutputFile&& other) noexcept;
  AtomicOutputFile& operator=(AtomicOutputFile&&) = delete;
  ~AtomicOutputFile();

  void write(const void* data, std::size_t size) { file_->write(data, size); }
  void write(std::string_view text) { file_->write(text); }
  void writeUnbuffered(const void* data, std::size_t size) { file_->writeUnbuffered(data, size); }
  void writeLine(std::string_view text) { file_->writeLine(text); }
  void overwrite(std::uint64_t offset, const void* data, std::size_t size) {
    file_->overwrite(offset, data, size);
  }
  void commit();

  const std::filesystem::path& target() const { return target_; }

 private:
  // Where the data goes: `temp` is renamed to `destination` (the target with its links
  // followed) by commit(); an empty `temp` means the destination itself is written.
  struct Route {
    std::filesystem::path destination;
    std::filesystem::path temp;
    bool regular = true;  // the file written is a regular file, which has a length and a disk
  };
  AtomicOutputFile(FileSystem& fs, std::filesystem::path target, Route route, Durability durability,
                   OutputFile file);
  static AtomicOutputFile WriteInPlace(FileSystem& fs, const std::filesystem::path& target,
                                       Route route, Durability durability);
  bool inPlace() const { return route_.temp.empty(); }
  void abandonInPlace() noexcept;

  FileSystem* fs_;
  std::filesystem::path target_;
  Route route_;
  Durability durability_;
  std::optional<OutputFile> file_;
  bool committed_ = false;
};

// A fresh name for a temporary file of `target`, beside it: the target's name (shortened when
// the whole would be longer than a file name may be), ".elevara-part-" and 16 random
// hexadecimal digits, so that two runs in one folder never meet at one name. No search of the
// batch commands matches such a name, and no tile raster is named so: their patterns end in
// ".xml" or ".raw" or are "??????-DEM5", shorter than any temporary name, and the tile rasters'
// names end in "-DEM5" or "-ELEVARA", not in a hexadecimal digit.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);
// 16 hexadecimal digits from the system's random source: the part of a temporary name that no
// other run picks.
std::string RandomHexDigits();
// Whether a bare file name is one that TemporaryPathFor makes.
bool IsTemporaryFileName(std::string_view name);

// Reads a text file line by line; a line ends at LF, and a CR before it is dropped, so files
// written on any platform read the same. A last line without LF counts as a line.
class LineReader {
 public:
  explicit LineReader(InputFile file);
  // False at the end of the file. The view stays valid until the next call.
  bool next(std::string_view& line);

 private:
  bool refill();

  InputFile file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::string carry_;
};

// Deletes a file, never a folder; a missing file is not an error. Throws FileError.
void RemoveFile(FileSystem& fs, const std::filesystem::path& path);

}  // namespace elevara
