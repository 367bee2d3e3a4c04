// The no-data replacement command: one raster of the size typed in, copied with every -9999.0
// turned into +0.0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command.h"
#include "raster/nodata_replacement.h"

namespace elevara {

class Services;

// The command behind the no-data group's Run button. `widthText` and `heightText` are the
// texts of the pixel and line fields; a text that is not an integer throws Error(kBadInput)
// before anything is asked or touched. An input whose ".hd1" sidecar states another size is
// not converted; an input of another length than the size typed is, with a notice in the final
// message (and CommandResult::notice set).
CommandResult RunNoDataReplacement(Services& services, std::string_view widthText,
                                   std::string_view heightText);

// The message for typed sizes out of range, checked in this order: the width, then the height;
// nullptr when both are in range.
const char* NoDataSizeProblem(std::int32_t width, std::int32_t height);
// The message for an input whose sidecar states `sidecar`, not the `typed` size.
std::string SizeMismatchMessage(const RasterSize& sidecar, const RasterSize& typed);
// The final message of a finished copy, with its notices.
std::string NoDataReport(const NoDataCopy& copy);

namespace nodata_text {
inline constexpr char kWidthTooSmall[] =
    "ピクセル数の設定が違います\nピクセル数の設定は1以上90000以下です";
inline constexpr char kWidthTooLarge[] = "本ソフトのピクセル数の最大値は90000です";
inline constexpr char kHeightTooSmall[] = "ライン数の設定が違います\nライン数の設定は1以上です";
inline constexpr char kNoInput[] = "変換対象ファイルが指定されていません\n再度、実行してください";
inline constexpr char kNoOutput[] = "保存先ファイル名が指定されていません\n再度、実行してください";
inline constexpr char kOpenTitle[] = "変換対象ファイルを指定する";
inline constexpr char kOpenFilter[] = "RAWファイル (*.*) | *.*";
inline constexpr char kSaveTitle[] = "保存先ファイル名を指定する";
inline constexpr char kInputShort[] =
    "入力ファイルが指定のサイズより短いため、不足分を0.0で出力しました";
inline constexpr char kInputLong[] =
    "入力ファイルが指定のサイズより長いため、指定のサイズまでを出力しました";
// The sidecar's size and the typed one, each as "横 W ピクセル × 縦 H ライン".
inline constexpr char kSizeMismatch[] =
    "入力ファイルのヘッダ（.hd1）のサイズが指定のサイズと違います";
inline constexpr char kSidecarSize[] = "入力ファイル：";
inline constexpr char kTypedSize[] = "指定：";
}  // namespace nodata_text

}  // namespace elevara
