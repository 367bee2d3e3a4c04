// The GeoTIFF command: the rasters of the picked file's folder become cloud-optimized GeoTIFFs.
#pragma once

#include <filesystem>
#include <string>

#include "commands/command.h"
#include "raster/geotiff_export.h"

namespace elevara {

class Services;

// Asks for one file and exports every raster of its folder that has its ".hd1" sidecar and an
// ENVI header (ExportGeoTiffFolder); rasters that could not be exported are named in the final
// report and returned as skipped.
CommandResult RunGeoTiffExport(Services& services);

// What the user is told of one raster's export (the terminal's geotiff with a raster).
std::string GeoTiffReport(const GeoTiffOutcome& outcome, const std::filesystem::path& raster);

namespace geotiff_text {
inline constexpr char kOpenTitle[] = "対象Floating RAWファイル（１ファイル）を指定する";
// The headers show which files are rasters; the rasters themselves mostly have no extension.
inline constexpr char kOpenFilter[] = "ENVIヘッダ (*.hdr) | *.hdr | すべてのファイル (*) | *";
inline constexpr char kNoFileChosen[] =
    "対象Floating RAWファイルが指定されていません\n再度、実行してください";
inline constexpr char kNotFound[] =
    "対象Floating RAWファイル（.hd1 と .hdr のあるもの）が見つかりません\n再度、実行してください";
inline constexpr char kNoSize[] =
    "ラスタの大きさがわかりません（サイドカー .hd1 がないか、その内容が正しくありません）";
inline constexpr char kNoHeader[] = "ラスタの位置がわかりません（ENVIヘッダ .hdr がありません）";
inline constexpr char kOtherSize[] =
    "ラスタの長さ、サイドカー .hd1 と ENVIヘッダ .hdr の示す大きさが一致しません";
}  // namespace geotiff_text

}  // namespace elevara
