// The GML10 and GML5 commands: the picked file names the folder whose tiles are converted.
#pragma once

#include "commands/command.h"
#include "gml/gml_conversion.h"
#include "platform/parallel_jobs.h"

namespace elevara {

class Services;

// Asks for one tile (or ZIP file), converts the tiles of its folder (ConvertGmlFolder), on
// every core unless told otherwise, and reports: what could not be read is named in the final
// report and returned as skipped.
// `workers`: how many tiles are converted side by side; `options`: what the user chose beside the
// folder.
CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion,
                               int workers = AvailableCores(), const GmlOptions& options = {});

CommandResult RunGml10Conversion(Services& services, const GmlOptions& options = {});
CommandResult RunGml5Conversion(Services& services, const GmlOptions& options = {});
CommandResult RunGml1Conversion(Services& services, const GmlOptions& options = {});

namespace gml_text {
inline constexpr char kOpenTitle[] = "対象GMLファイル（１ファイル）を指定する";
// Every file the command takes first, the tiles and the ZIP files they are delivered in: the
// folder of either is the one converted; then each kind by itself.
inline constexpr char kOpenFilter[] =
    "XML・ZIPファイル (*.xml;*.zip) | *.xml;*.zip | XMLファイル (*.xml) | *.xml | "
    "ZIPファイル (*.zip) | *.zip";
inline constexpr char kNoFileChosen[] =
    "対象GMLファイルが指定されていません\n再度、実行してください";
inline constexpr char kNoFileFound[] = "対象GMLファイルが見つかりません\n再度、実行してください";
}  // namespace gml_text

}  // namespace elevara
