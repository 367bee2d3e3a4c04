// The texts of the window's own controls, help boxes and message boxes, as UTF-8. The commands'
// dialog titles, filters and messages belong to each command (gml_text, dem5_text,
// nodata_text); the caption and the fields' initial numbers come with the version
// (platform/product.h).
#pragma once

#include "commands/product.h"

namespace elevara::app::text {

inline constexpr const char* kCaption = kProductCaption;

inline constexpr char kRun[] = "実行";
inline constexpr char kHelp[] = "ヘルプ";
inline constexpr char kExit[] = "終了";

inline constexpr char kGroupGml10[] = "GML10m -> Floating RAW";
inline constexpr char kAboutGml10[] =
    "2次メッシュ単位でGML10mメッシュ標高データをFloating RAWファイルに変換します";
inline constexpr char kGroupGml5[] = "GML5m -> Floating RAW";
inline constexpr char kAboutGml5[] =
    "3次メッシュ単位でGML5mメッシュ標高データをFloating RAWファイルに変換します";
inline constexpr char kGroupDem5Merge[] = "DEM5m 3次メッシュ -> 2次メッシュ統合";
inline constexpr char kAboutDem5Merge[] =
    "3次メッシュ単位の5mメッシュ標高データを2次メッシュ単位に結合（マージ）します";
inline constexpr char kGroupGml1[] = "GML1m -> Floating RAW";
inline constexpr char kAboutGml1[] =
    "2次メッシュ単位でGML1mメッシュ標高データをFloating RAWファイルに変換します";
// The check box under the GML groups: sea-surface cells become 0.0 in the GML commands' outputs.
inline constexpr char kSeaLevelZero[] = "海水面を 0.0 にする";
inline constexpr char kGroupNoData[] = "Floating RAW -9999.0 -> 0.0";
inline constexpr char kAboutNoData[] =
    "Floating RAWファイルの標高データ -9999.0 を 0.0 に変換します";
inline constexpr char kGroupGeoTiff[] = "Floating RAW -> GeoTIFF (COG)";
inline constexpr char kAboutGeoTiff[] =
    "Floating RAWファイルをGISで開けるGeoTIFF（COG）に変換します";
inline constexpr char kPixels[] = "ピクセル（横）：";
// An ideographic space (U+3000) pads "ライン" to the width of "ピクセル", so the two captions
// read as a pair.
inline constexpr char kLines[] =
    "ライン"
    "\xE3\x80\x80"
    "（縦）：";
inline constexpr const char* kDefaultWidth = kDefaultWidthText;
inline constexpr const char* kDefaultHeight = kDefaultHeightText;

inline constexpr char kHelpGml10[] =
    "基盤地図情報（数値標高モデル）10mメッシュ標高データ（GMLファイル）を32ビットFloating "
    "RAWファイルに変換します。\n"
    "１つのフォルダにまとめた3次メッシュ標高ファイルを、2次メッシュ毎に1つのファイルに結合します。"
    "\n"
    "作成する2次メッシュの大きさは、横9000ピクセル×縦6000ピクセルで、ファイルフォーマットは32ビット"
    "Floating RAWファイル（ヘッダなし）です。\n"
    "ファイル名は「2次メッシュコード」＋「-ELEVARA」です。\n"
    "\n"
    "作者：Ojorima\n";

inline constexpr char kHelpGml5[] =
    "基盤地図情報（数値標高モデル）5mメッシュ標高データ（GMLファイル）を32ビットFloating "
    "RAWファイルに変換します。\n"
    "１つのフォルダにまとめた4次メッシュ標高ファイルを、3次メッシュ毎に1つのファイルに結合します。"
    "\n"
    "作成する3次メッシュの大きさは、横2250ピクセル×縦1500ピクセルで、ファイルフォーマットは32ビット"
    "Floating RAW（ヘッダなし）ファイルです。\n"
    "ファイル名は「3次メッシュコード」＋「-DEM5」です。\n"
    "\n"
    "作者：Ojorima\n";

inline constexpr char kHelpDem5Merge[] =
    "1つのフォルダにまとめた3次メッシュ単位の5mメッシュ標高データ（DEM 32ビットFloating "
    "RAWファイル（ヘッダなし））を2次メッシュ毎に1つのファイルに結合（マージ）します。\n"
    "作成する2次メッシュの大きさは、横18000ピクセル×縦12000ピクセルで、ファイルフォーマットは32"
    "ビットFloating RAW（ヘッダなし）ファイルです。\n"
    "ファイル名は「2次メッシュコード」＋「-DEM5」です。\n"
    "\n"
    "作者：Ojorima\n";

// The levels of the mesh as GSI names them: a 1 m tile covers a third-order mesh (8 digits), and
// the mosaic a second-order mesh (6 digits).
inline constexpr char kHelpGml1[] =
    "基盤地図情報（数値標高モデル）1mメッシュ標高データ（GMLファイル）を32ビットFloating "
    "RAWファイルに変換します。\n"
    "１つのフォルダにまとめた3次メッシュ（8桁）毎の標高ファイルを、2次メッシュ（6桁）毎に1つの"
    "ファイルに結合します。\n"
    "作成する2次メッシュの大きさは、横11250ピクセル×縦7500ピクセルで、ファイルフォーマットは32"
    "ビットFloating RAW（ヘッダなし）ファイルです。\n"
    "ファイル名は「2次メッシュコード」＋「-DEM1」です。\n";

inline constexpr char kHelpNoData[] =
    "数値標高モデル（32ビットFloatingのRAWファイル（ヘッダなし））のデータ-9999.9をデータ0.0に変換"
    "します。\n"
    "横幅最大90000ピクセルです。\n"
    "ファイル選択では、32ビットFloating RAWファイルを選択して下さい。\n"
    "\n"
    "作者：Ojorima\n";

inline constexpr char kHelpGeoTiff[] =
    "32ビットFloating RAWファイルをクラウド最適化GeoTIFF（COG）に変換します。\n"
    "１つのフォルダのうち、サイドカー（.hd1）とENVIヘッダ（.hdr）のあるファイルをすべて変換します。"
    "\n"
    "位置、測地系（JGD2000、JGD2011、JGD2024）とデータなし（-9999.0）はENVIヘッダのとおりです。\n"
    "ファイルフォーマットは32ビットFloating、512×512ピクセルのタイル、可逆圧縮（DEFLATE）で、"
    "縮小画像を含みます。\n"
    "ファイル名は元のファイル名＋「.tif」です。\n"
    "ファイル選択では、対象フォルダ内のファイルを１つ選択して下さい。\n"
    "\n"
    "作者：Ojorima\n";

// The one button of every message box and error box.
inline constexpr char kOk[] = "OK";

// Asked when the window is to close while a command runs, with its two answers.
inline constexpr char kAskInterrupt[] = "変換中です。中断しますか？";
inline constexpr char kInterrupt[] = "中断する";
inline constexpr char kContinue[] = "続ける";

}  // namespace elevara::app::text
