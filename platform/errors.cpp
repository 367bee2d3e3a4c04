#include "platform/errors.h"

#include <cerrno>

#include "platform/unicode.h"

namespace elevara {
namespace {

struct ReasonText {
  std::errc condition;
  const char* text;
};

// The reasons a user meets most often; std::errc matches the POSIX and the Windows codes alike.
constexpr ReasonText kReasonTexts[] = {
    {std::errc::no_such_file_or_directory, "ファイルまたはフォルダがありません"},
    {std::errc::permission_denied, "アクセスが拒否されました"},
    {std::errc::operation_not_permitted, "アクセスが拒否されました"},
    {std::errc::no_space_on_device, "ディスクの空き容量が足りません"},
    {std::errc::read_only_file_system, "読み取り専用のファイルシステムです"},
    {std::errc::is_a_directory, "ファイルではなくフォルダです"},
    {std::errc::not_a_directory, "フォルダではありません"},
    {std::errc::filename_too_long, "名前が長すぎます"},
    {std::errc::too_many_files_open, "開いているファイルが多すぎます"},
    {std::errc::too_many_files_open_in_system, "開いているファイルが多すぎます"},
    {std::errc::io_error, "入出力エラーが発生しました"},
    {std::errc::invalid_seek, "位置を指定して読み書きできないファイルです"},
    // What opening a FIFO for writing tells when nobody reads it.
    {std::errc::no_such_device_or_address, "書き込み先を読み取るプログラムがありません"},
    {std::errc::interrupted, "中断されました"},
    {std::errc::file_exists, "同じ名前のものがすでにあります"},
};

class FileFaultErrors final : public std::error_category {
 public:
  const char* name() const noexcept override { return "file"; }
  std::string message(int value) const override {
    switch (static_cast<FileFault>(value)) {
      case FileFault::kNotRegularFile:
        return "FIFOやデバイスなど、通常のファイルではありません";
      case FileFault::kTooLarge:
        return "ファイルが大きすぎます";
      case FileFault::kFolderBusy:
        return "別の変換がこのフォルダで実行中です";
    }
    return "ファイルを処理できません";
  }
};

class TemporaryFolderCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "temporary folder"; }
  std::string message(int value) const override {
    return "一時フォルダ：" + DescribeReason({value, std::generic_category()});
  }
};

// std::errc has no name for an exceeded disk quota.
bool IsQuotaExceeded([[maybe_unused]] std::error_code reason) {
#ifdef EDQUOT
  return reason == std::error_condition(EDQUOT, std::generic_category());
#else
  return false;
#endif
}

std::string FileErrorText(FileAction action, const std::filesystem::path& path,
                          std::error_code reason, const std::string& detail) {
  std::string text = DescribeFileAction(action);
  text += "\n";
  text += DisplayPath(path);
  if (reason) {
    text += "\n";
    text += DescribeReason(reason);
  }
  if (!detail.empty()) {
    text += "\n";
    text += detail;
  }
  return text;
}

}  // namespace

const std::error_category& FileFaultCategory() {
  static const FileFaultErrors category;
  return category;
}

std::error_code make_error_code(FileFault fault) {
  return {static_cast<int>(fault), FileFaultCategory()};
}

std::error_code InTemporaryFolder(std::error_code reason) {
  static const TemporaryFolderCategory category;
  const std::error_condition condition = reason.default_error_condition();
  if (!reason || condition.category() != std::generic_category()) return reason;
  return {condition.value(), category};
}

std::string DescribeFileAction(FileAction action) {
  switch (action) {
    case FileAction::kOpen:
      return "ファイルを開けません";
    case FileAction::kCreate:
      return "ファイルを作成できません";
    case FileAction::kRead:
      return "ファイルを読み込めません";
    case FileAction::kWrite:
      return "ファイルに書き込めません";
    case FileAction::kRename:
      return "ファイルを保存できません";
    case FileAction::kRemove:
      return "ファイルを削除できません";
    case FileAction::kList:
      return "フォルダを読み込めません";
    case FileAction::kClaim:
      return "このフォルダでは変換を始められません";
    case FileAction::kFill:
      return "フォルダに出力を書き出せません";
  }
  return "ファイルを処理できません";
}

std::string DescribeReason(std::error_code reason) {
  for (const ReasonText& known : kReasonTexts) {
    if (reason == known.condition) return known.text;
  }
  if (IsQuotaExceeded(reason)) return "ディスクの使用量の上限を超えました";
  return reason.message();
}

std::string DisplayPath(const std::filesystem::path& path) {
  return Utf8FromPath(path.lexically_normal().make_preferred());
}

FileError::FileError(FileAction action, const std::filesystem::path& path, std::error_code reason,
                     const std::string& detail)
    : Error(ErrorKind::kFileIo, FileErrorText(action, path, reason, detail)),
      action_(action),
      path_(path),
      reason_(reason) {}

}  // namespace elevara
