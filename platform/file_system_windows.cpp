// The FileSystem seam on Windows: the wide-character Win32 calls, so that every name, Japanese
// or not, reaches the system as it is, and every failure carries the system's own reason.
#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

// GetLastError() codes, described by FormatMessageW in the system's language and handed on as
// UTF-8 like every other text; they compare equal to the std::errc they stand for.
class WindowsErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int code) const override {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0) return "Windows error " + std::to_string(code);
    std::u16string wide(text, text + length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == u'\n' || wide.back() == u'\r' || wide.back() == u' ')) {
      wide.pop_back();
    }
    return Utf8FromUtf16(wide);
  }
  std::error_condition default_error_condition(int code) const noexcept override {
    return std::system_category().default_error_condition(code);
  }
};

const std::error_category& WindowsCategory() {
  static const WindowsErrorCategory category;
  return category;
}

bool IsFolder(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::error_code WindowsError(DWORD code) {
  return {static_cast<int>(code), WindowsCategory()};
}

std::error_code LastError() {
  return WindowsError(GetLastError());
}

// A folder where a file is meant is refused as "access denied"; say what it is instead.
std::error_code ErrorNaming(const std::wstring& name) {
  const DWORD code = GetLastError();
  if (code == ERROR_ACCESS_DENIED && IsFolder(name)) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  return WindowsError(code);
}

// An absolute name in the "\\?\" form, which passes the system's 260-character limit and its
// renaming of names that end in a dot or a blank.
std::wstring SystemName(const std::filesystem::path& path) {
  const std::wstring& name = path.native();
  if (name.starts_with(LR"(\\?\)") || name.starts_with(LR"(\\.\)")) return name;
  DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return name;
  std::wstring full(size, L'\0');
  size = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
  if (size == 0 || size >= full.size()) return name;
  full.resize(size);
  if (full.starts_with(LR"(\\.\)")) return full;  // a device such as NUL
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

constexpr DWORD kLargestCall = 1u << 30;

DWORD ChunkOf(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, kLargestCall));
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

class WindowsFile final : public RawFile {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    std::size_t got = readAt(position_, buffer, size, error);
    position_ += got;
    return got;
  }
  // Every read names its position, so the sequential one is ours alone and stays put here.
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED at = At(offset + done);
      DWORD got = 0;
      if (!ReadFile(handle_, static_cast<char*>(buffer) + done, ChunkOf(size - done), &got, &at)) {
        if (GetLastError() != ERROR_HANDLE_EOF) error = LastError();
        break;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD put = 0;
      if (!WriteFile(handle_, static_cast<const char*>(data) + done, ChunkOf(size - done), &put,
                     nullptr)) {
        error = LastError();
        break;
      }
      if (put == 0) {
        error = std::make_error_code(std::errc::no_space_on_device);
        break;
      }
      done += put;
    }
    return done;
  }
  // A write at a position moves the system's file position of a synchronous handle, which the
  // sequential writes go on from: it is put back.
  std::size_t writeAt(std::uint64_t offset, const void* data, std::size_t size,
                      std::error_code& error) override {
    LARGE_INTEGER sequential{};
    if (!SetFilePointerEx(handle_, LARGE_INTEGER{}, &sequential, FILE_CURRENT)) {
      error = LastError();
      return 0;
    }
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED at = At(offset + done);
      DWORD put = 0;
      if (!WriteFile(handle_, static_cast<const char*>(data) + done, ChunkOf(size - done), &put,
                     &at)) {
        error = LastError();
        break;
      }
      if (put == 0) {
        error = std::make_error_code(std::errc::no_space_on_device);
        break;
      }
      done += put;
    }
    if (!SetFilePointerEx(handle_, sequential, nullptr, FILE_BEGIN) && !error) error = LastError();
    return done;
  }
  void syncData(std::error_code& error) override {
    if (!FlushFileBuffers(handle_)) error = LastError();
  }
  void resize(std::uint64_t size, std::error_code& error) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
      error = LastError();
    }
  }
  void close(std::error_code& error) override {
    if (!CloseHandle(handle_)) error = LastError();
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
  std::uint64_t position_ = 0;
};

std::unique_ptr<RawFile> OpenForWriting(const std::filesystem::path& path, DWORD disposition,
                                        std::error_code& error) {
  HANDLE handle = CreateFileW(SystemName(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<WindowsFile>(handle);
}

// A replaced file's new directory entry reaches the disk when the file is flushed through a
// handle of its own. Its data was flushed before the replacement, so a file that no longer
// opens for writing (the replaced file's read-only attribute passes to it) has lost nothing.
void FlushMetadataOf(const std::wstring& name, std::error_code& error) {
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  if (!FlushFileBuffers(handle)) error = LastError();
  CloseHandle(handle);
}

// ReplaceFileW gives the new file the replaced one's attributes and access rights, which is
// what keeping the permission bits means on Windows; a target that does not exist yet is moved
// into place instead. Write-through makes the move itself reach the disk before it returns.
// Either fails, leaving `to` as it was, while another program holds `to` open.
void ReplaceOrMove(const std::filesystem::path& from, const std::filesystem::path& to, bool durable,
                   std::error_code& error) {
  const std::wstring source = SystemName(from);
  const std::wstring target = SystemName(to);
  if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                   nullptr, nullptr)) {
    if (durable) FlushMetadataOf(target, error);
    return;
  }
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(source.c_str(), target.c_str(), flags)) error = LastError();
}

bool IsAbsent(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// The random names of scratch files; drawn again when one is taken, a few times at most.
constexpr int kScratchNameDraws = 8;

// The claim's file: no search of the batch commands matches its name, and nobody else may open
// it while it is held. It goes when the process closes it, however the process ends.
constexpr wchar_t kClaimFileName[] = L".elevara-claim";

class WindowsFolderClaim final : public FolderClaim {
 public:
  explicit WindowsFolderClaim(HANDLE handle) : handle_(handle) {}
  ~WindowsFolderClaim() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsFolderClaim(const WindowsFolderClaim&) = delete;
  WindowsFolderClaim& operator=(const WindowsFolderClaim&) = delete;

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<RawFile> FileSystem::openRead(const std::filesystem::path& path,
                                              std::error_code& error) {
  const std::wstring name = SystemName(path);
  // Others may read, write, rename or delete the file meanwhile, as they may on POSIX systems.
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ErrorNaming(name);
    return nullptr;
  }
  auto file = std::make_unique<WindowsFile>(handle);
  // Nothing but a file on a disk is an input: a pipe or a device may never end.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = FileFault::kNotRegularFile;
    return nullptr;
  }
  return file;
}

std::unique_ptr<RawFile> FileSystem::create(const std::filesystem::path& path,
                                            std::error_code& error) {
  return OpenForWriting(path, CREATE_ALWAYS, error);
}

std::unique_ptr<RawFile> FileSystem::createNew(const std::filesystem::path& path,
                                               std::filesystem::perms /*permissions*/,
                                               std::error_code& error) {
  // The replaced file's access rights come over with ReplaceFileW (see ReplaceOrMove).
  return OpenForWriting(path, CREATE_NEW, error);
}

std::unique_ptr<RawFile> FileSystem::openWrite(const std::filesystem::path& path,
                                               std::error_code& error) {
  return OpenForWriting(path, OPEN_EXISTING, error);
}

std::unique_ptr<RawFile> FileSystem::createScratch(const std::filesystem::path& folder,
                                                   std::error_code& error) {
  const std::filesystem::path where =
      folder.empty() ? std::filesystem::temp_directory_path(error) : folder;
  if (error) return nullptr;
  for (int draw = 0; draw < kScratchNameDraws; ++draw) {
    error.clear();
    const std::filesystem::path name =
        where / PathFromUtf8("elevara-" + RandomHexDigits() + ".scratch");
    // Shared with nobody, and deleted by the system when its last handle closes.
    HANDLE handle =
        CreateFileW(SystemName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WindowsFile>(handle);
    error = LastError();
    if (error != std::errc::file_exists) break;
  }
  return nullptr;
}

std::unique_ptr<FolderClaim> FileSystem::claimFolder(const std::filesystem::path& folder,
                                                     std::error_code& error) {
  HANDLE handle =
      CreateFileW(SystemName(folder / kClaimFileName).c_str(), GENERIC_READ, 0, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WindowsFolderClaim>(handle);
  const DWORD code = GetLastError();
  if (code == ERROR_SHARING_VIOLATION) {
    error = FileFault::kFolderBusy;
    return nullptr;
  }
  if (IsAbsent(code)) {
    error = WindowsError(code);
    return nullptr;
  }
  // A folder that takes no new file: the run goes on unguarded rather than not at all.
  return std::make_unique<FolderClaim>();
}

void FileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& error) {
  ReplaceOrMove(from, to, false, error);
}

void FileSystem::renameDurably(const std::filesystem::path& from, const std::filesystem::path& to,
                               std::error_code& error) {
  ReplaceOrMove(from, to, true, error);
}

bool FileSystem::remove(const std::filesystem::path& path, std::error_code& error) {
  const std::wstring name = SystemName(path);
  if (DeleteFileW(name.c_str())) return true;
  if (IsAbsent(GetLastError())) return false;
  error = ErrorNaming(name);  // a folder is never removed in place of a file
  return false;
}

std::vector<std::string> FileSystem::listNames(const std::filesystem::path& folder,
                                               std::error_code& error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  const std::wstring pattern = SystemName(folder / L"*");
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    // No entry at all, not even "." (the root of a drive): an empty folder.
    if (GetLastError() != ERROR_FILE_NOT_FOUND) error = LastError();
    return names;
  }
  do {
    const std::u16string_view name(reinterpret_cast<const char16_t*>(entry.cFileName));
    if (name != u"." && name != u"..") names.push_back(Utf8FromUtf16(name));
  } while (FindNextFileW(search, &entry));
  if (GetLastError() != ERROR_NO_MORE_FILES) error = LastError();
  FindClose(search);
  return names;
}

}  // namespace elevara
