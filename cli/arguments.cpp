#include "cli/arguments.h"

#include <charconv>
#include <string>
#include <system_error>
#include <vector>

#include "commands/product.h"
#include "platform/files.h"
#include "platform/unicode.h"

namespace elevara::cli {
namespace {

std::optional<Subcommand> SubcommandNamed(std::string_view name) {
  if (name == "gml10") return Subcommand::kGml10;
  if (name == "gml5") return Subcommand::kGml5;
  if (name == "gml1") return Subcommand::kGml1;
  if (name == "merge") return Subcommand::kMerge;
  if (name == "nodata") return Subcommand::kNoData;
  if (name == "preview") return Subcommand::kPreview;
  if (name == "geotiff") return Subcommand::kGeoTiff;
  return std::nullopt;
}

bool LooksLikeOption(std::string_view argument) {
  return argument.size() > 1 && argument.front() == '-';
}

// "--width TEXT" or "--width=TEXT": true and the value when `arguments[at]` is that option;
// `at` then points at the last argument consumed.
bool TakeValueOption(std::span<const std::string_view> arguments, std::size_t& at,
                     std::string_view option, std::string& value) {
  std::string_view argument = arguments[at];
  if (argument == option) {
    if (at + 1 == arguments.size()) {
      throw UsageError(std::string(option) + " に値がありません");
    }
    value = arguments[++at];
    return true;
  }
  if (argument.size() > option.size() && argument.starts_with(option) &&
      argument[option.size()] == '=') {
    value = argument.substr(option.size() + 1);
    return true;
  }
  return false;
}

// The value of --jobs: a decimal number of workers from 1 to kMaxJobs.
int JobsValue(std::string_view text) {
  int jobs = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (text.empty() || text.front() == '-' || error != std::errc() ||
      end != text.data() + text.size() || jobs < 1 || jobs > kMaxJobs) {
    throw UsageError("--jobs には 1 から " + std::to_string(kMaxJobs) +
                     " までの整数を指定してください：" + std::string(text));
  }
  return jobs;
}

// An empty argument, as an unset shell variable gives, is no path at all.
std::optional<std::filesystem::path> PathArgument(const std::vector<std::string_view>& positionals,
                                                  std::size_t index) {
  if (index >= positionals.size() || positionals[index].empty()) return std::nullopt;
  return PathFromUtf8(positionals[index]);
}

// A batch subcommand's PATH must name something that is there: a mistyped folder would
// otherwise be taken for a file of the current folder, whose tiles would be converted.
void CheckBatchPath(const std::vector<std::string_view>& positionals,
                    const std::optional<std::filesystem::path>& path) {
  if (!path) throw UsageError("PATH がありません");
  std::error_code error;
  const bool there = std::filesystem::exists(std::filesystem::symlink_status(*path, error));
  if (!there) throw UsageError("PATH が見つかりません：" + std::string(positionals.front()));
}

}  // namespace

Invocation ParseArguments(std::span<const std::string_view> arguments) {
  if (arguments.empty()) throw UsageError("サブコマンドがありません");
  Invocation invocation;
  std::string_view first = arguments.front();
  if (first == "--help" || first == "-h" || first == "--version") {
    if (arguments.size() > 1) throw UsageError(std::string(first) + " に引数は付けられません");
    invocation.kind = first == "--version" ? Invocation::Kind::kVersion : Invocation::Kind::kHelp;
    return invocation;
  }
  std::optional<Subcommand> subcommand = SubcommandNamed(first);
  if (!subcommand) throw UsageError("不明なサブコマンドです：" + std::string(first));
  invocation.subcommand = *subcommand;
  const bool takesSize = *subcommand == Subcommand::kNoData;
  const bool convertsGml = *subcommand == Subcommand::kGml10 || *subcommand == Subcommand::kGml5 ||
                           *subcommand == Subcommand::kGml1;

  std::vector<std::string_view> positionals;
  bool optionsEnded = false;
  std::string jobsText;
  for (std::size_t at = 1; at < arguments.size(); ++at) {
    std::string_view argument = arguments[at];
    if (optionsEnded || !LooksLikeOption(argument)) {
      positionals.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (convertsGml && TakeValueOption(arguments, at, "--jobs", jobsText)) {
      invocation.jobs = JobsValue(jobsText);
    } else if (convertsGml && argument == "--sea-level-zero") {
      invocation.seaLevelZero = true;
    } else if (!(takesSize &&
                 (TakeValueOption(arguments, at, "--width", invocation.widthText) ||
                  TakeValueOption(arguments, at, "--height", invocation.heightText)))) {
      throw UsageError("不明なオプションです：" + std::string(argument));
    }
  }

  const bool takesTwoPaths = takesSize || *subcommand == Subcommand::kPreview;
  if (positionals.size() > (takesTwoPaths ? 2u : 1u)) throw UsageError("引数が多すぎます");
  if (*subcommand == Subcommand::kPreview && !PathArgument(positionals, 0)) {
    throw UsageError("RASTER がありません");
  }
  if (auto input = PathArgument(positionals, 0)) invocation.input = AbsolutePath(*input);
  if (auto output = PathArgument(positionals, 1)) invocation.output = AbsolutePath(*output);
  if (!takesTwoPaths) CheckBatchPath(positionals, invocation.input);
  return invocation;
}

std::filesystem::path AbsolutePath(const std::filesystem::path& argument) {
  std::error_code noCurrentFolder;
  std::filesystem::path full = std::filesystem::absolute(argument, noCurrentFolder);
  if (noCurrentFolder) full = argument;
  std::filesystem::path result;
  for (const std::filesystem::path& step : full) {
    if (step != ".") result /= step;
  }
  return result;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored) && path.has_filename()) return path;
  return path.parent_path();
}

const char kUsageText[] =
    "使い方：\n"
    "  elevara-cli gml10 [--jobs N] [--sea-level-zero] PATH\n"
    "  elevara-cli gml5 [--jobs N] [--sea-level-zero] PATH\n"
    "  elevara-cli gml1 [--jobs N] [--sea-level-zero] PATH\n"
    "  elevara-cli merge PATH\n"
    "  elevara-cli nodata [--width TEXT] [--height TEXT] INPUT OUTPUT\n"
    "  elevara-cli preview RASTER [PNG]\n"
    "  elevara-cli geotiff PATH\n"
    "  elevara-cli --help | --version\n";

const char kHelpText[] =
    "elevara-cli：ELEVARAのコマンドを端末から実行し、ラスタのプレビュー画像を書き出します\n"
    "\n"
    "使い方：\n"
    "  elevara-cli gml10 [--jobs N] [--sea-level-zero] PATH\n"
    "      基盤地図情報（数値標高モデル）10mメッシュ標高データ（FG-GML*dem10*.xml）を、"
    "2次メッシュ毎に横9000ピクセル×縦6000ピクセルの32ビットFloating RAWファイル"
    "（「2次メッシュコード」＋「-ELEVARA」）に変換します\n"
    "  elevara-cli gml5 [--jobs N] [--sea-level-zero] PATH\n"
    "      基盤地図情報（数値標高モデル）5mメッシュ標高データ（FG-GML*dem5*.xml）を、"
    "3次メッシュ毎に横2250ピクセル×縦1500ピクセルの32ビットFloating RAWファイル"
    "（「3次メッシュコード」＋「-DEM5」）に変換します\n"
    "  elevara-cli gml1 [--jobs N] [--sea-level-zero] PATH\n"
    "      基盤地図情報（数値標高モデル）1mメッシュ標高データ（FG-GML*-dem1?-*.xml）を、"
    "2次メッシュ毎に横11250ピクセル×縦7500ピクセルの32ビットFloating RAWファイル"
    "（「2次メッシュコード」＋「-DEM1」）に変換します\n"
    "      --jobs は同時に変換するスレッドの数（既定値 CPUのコア数、最大 256）です。"
    "数によらず出力は同じです\n"
    "      --sea-level-zero を付けると、海水面のセルを -9999.0 ではなく 0.0 にします"
    "（データなしのセルは -9999.0 のままです）\n"
    "      同じメッシュのファイルが複数あるときは、製品の記号（A、B、C の順）、次に日付の新しい"
    "ものを優先し、そのデータなしのセルを次のファイルで補います\n"
    "  elevara-cli merge PATH\n"
    "      3次メッシュ単位の5mメッシュ標高データ（??????-DEM5、??????-DEM5.raw）を、"
    "2次メッシュ毎に横18000ピクセル×縦12000ピクセルのファイル"
    "（「2次メッシュコード」＋「-DEM5」）に結合（マージ）します\n"
    "  elevara-cli nodata [--width TEXT] [--height TEXT] INPUT OUTPUT\n"
    "      32ビットFloating RAWファイル INPUT のデータ -9999.0 を 0.0 に変換して OUTPUT "
    "に書き出します\n"
    "      --width はピクセル数（横、既定値 9000、最大 90000）、"
    "--height はライン数（縦、既定値 6000）です\n"
    "  elevara-cli preview RASTER [PNG]\n"
    "      .hd1 サイドカーのある32ビットFloating RAWファイル RASTER の陰影段彩図を、"
    "長辺2048ピクセル以内のPNG画像 PNG（省略時は RASTER に .png を付けた名前）に書き出します"
    "（データなしは透明）\n"
    "  elevara-cli geotiff PATH\n"
    "      .hd1 サイドカーと ENVIヘッダ .hdr のある32ビットFloating RAWファイルを、"
    "クラウド最適化GeoTIFF（元のファイル名＋「.tif」）に変換します。"
    "PATH がフォルダならそのすべてのファイルを、ファイルならそのファイルだけを変換します\n"
    "  elevara-cli --help | --version\n"
    "      この説明、または版を表示します\n"
    "\n"
    "PATH は処理するフォルダ、またはそのフォルダ内のファイルで、省略できません。"
    "出力はそのフォルダに書き出します。\n"
    "INPUT、OUTPUT を省略すると、ファイルが指定されていないものとして終了します。\n"
    "メッセージは標準出力に、エラーと進行状況は標準エラーに出力します。\n"
    "終了コード：0 変換終了、1 その他のメッセージまたはエラー（読み込めなかったファイルがある"
    "ときも、入力ファイルの大きさについての注意があるときも、別の変換が同じフォルダで実行中のときも"
    "）、"
    "2 使い方の誤り（PATH がないとき、見つからないときも）、130 中断（Ctrl-C）\n"
    "\n"
    "Converts GSI elevation GML tiles and float32 RAW rasters from a terminal: "
    "gml10, gml5, gml1, merge, nodata; preview draws a shaded-relief PNG of a raster; geotiff "
    "writes cloud-optimized GeoTIFFs.\n";

std::string VersionText() {
  return kProductCaption;
}

}  // namespace elevara::cli
