#include "platform/errors.h"

namespace elevara {
namespace {

std::string FileErrorText(FileAction action, const std::filesystem::path& path,
                          std::error_code reason) {
  std::string text = DescribeFileAction(action);
  text += "\n";
  text += DisplayPath(path);
  if (reason) {
    text += "\n";
    text += reason.message();
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

std::string DisplayPath(const std::filesystem::path& path) {
  std::u8string text = path.lexically_normal().make_preferred().u8string();
  return std::string(text.begin(), text.end());
}

FileError::FileError(FileAction action, const std::filesystem::path& path, std::error_code reason)
    : Error(ErrorKind::kFileIo, FileErrorText(action, path, reason)),
      action_(action),
      path_(path),
      reason_(reason) {}

}  // namespace elevara
