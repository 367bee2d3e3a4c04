// The preview command of the terminal: a shaded-relief picture of a raster with a sidecar.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "commands/command.h"
#include "raster/preview.h"

namespace elevara {

class Services;

// Draws the raster at `raster` (DrawPreview) to `png`, by default the raster's path with ".png"
// appended, and reports it: kPreviewNoSize without a size, kPreviewOverRaster for a picture
// that would replace the raster or its headers (nothing is written then).
CommandResult RunPreview(Services& services, const std::filesystem::path& raster,
                         const std::optional<std::filesystem::path>& png);

// What the user is told of a preview.
std::string PreviewReport(const PreviewOutcome& outcome, const std::filesystem::path& raster);

inline constexpr char kPreviewWritten[] = "プレビュー画像を書き出しました";
inline constexpr char kPreviewNoSize[] =
    "ラスタの大きさがわかりません（サイドカー .hd1 がないか、その内容が正しくありません）";
inline constexpr char kPreviewOverRaster[] =
    "プレビュー画像の保存先がラスタまたはそのヘッダと同じです\n別の名前を指定してください";

}  // namespace elevara
