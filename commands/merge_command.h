// The DEM5 merge command: the picked file names the folder whose GML5 mosaics are merged.
#pragma once

#include "commands/command.h"
#include "raster/dem5_merge.h"

namespace elevara {

class Services;

// Asks for one file, merges the 5 m mosaics of its folder (MergeDem5Folder) and reports: tiles
// that exist but cannot be read are named in the final report and returned as skipped.
CommandResult RunDem5Merge(Services& services);

namespace dem5_text {
inline constexpr char kOpenTitle[] = "対象DEM5ファイル（１ファイル）を指定する";
// Every file the merge takes first: the GML5 conversion's mosaics, which have no extension, and
// the same with ".raw"; then RAW files and the mosaics by themselves.
inline constexpr char kOpenFilter[] =
    "DEM5ファイル (??????-DEM5;??????-DEM5.raw) | ??????-DEM5;??????-DEM5.raw | "
    "RAWファイル (*.raw) | *.raw | DEM5ファイル (??????-DEM5) | ??????-DEM5";
inline constexpr char kNoInput[] = "対象DEM5ファイルが指定されていません\n再度、実行してください";
inline constexpr char kNotFound[] = "対象DEM5ファイルが見つかりません\n再度、実行してください";
}  // namespace dem5_text

}  // namespace elevara
