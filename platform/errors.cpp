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
                          std::error_code reason) {
  std::string text = DescribeFileAction(action);
  text += "\n";
  text += DisplayPath(path);
  if (reason) {
    text += "\n";
    text += DescribeReason(reason);
  }
  return text;
}

}  // namespace

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

FileError::FileError(FileAction action, const std::filesystem::path& path, std::error_code reason)
    : Error(ErrorKind::kFileIo, FileErrorText(action, path, reason)),
      action_(action),
      path_(path),
      reason_(reason) {}

}  // namespace elevara
