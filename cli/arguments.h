// The command line of elevara-cli: the subcommand, its paths and the texts of its size options.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "commands/product.h"

namespace elevara::cli {

enum class Subcommand { kGml10, kGml5, kGml1, kMerge, kNoData, kPreview, kGeoTiff };

struct Invocation {
  enum class Kind { kRun, kHelp, kVersion };
  Kind kind = Kind::kRun;
  Subcommand subcommand = Subcommand::kNoData;
  // PATH or INPUT, and OUTPUT, each absolute (see AbsolutePath). PATH is always given and
  // exists; a missing INPUT or OUTPUT is nullopt, which the subcommand reports as the window
  // reports a cancelled dialog. For preview, the raster (always given) and the picture.
  std::optional<std::filesystem::path> input;
  std::optional<std::filesystem::path> output;
  // The texts of the size options, converted as the window's pixel and line fields are.
  std::string widthText = kDefaultWidthText;
  std::string heightText = kDefaultHeightText;
  // --jobs of the GML subcommands: how many tiles are converted side by side; nullopt for every
  // core.
  std::optional<int> jobs;
  // --sea-level-zero of the GML subcommands.
  bool seaLevelZero = false;
};

// The most --jobs takes: far beyond the cores of any machine it runs on, and each worker holds a
// few MiB.
inline constexpr int kMaxJobs = 256;

// A command line that does not fit the interface; what() says what is wrong in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `arguments` excludes the program name. Throws UsageError.
Invocation ParseArguments(std::span<const std::string_view> arguments);

// The folder a batch subcommand works in: PATH itself when it is a folder, else the folder that
// holds it (a file picked in it, present or not).
std::filesystem::path FolderOf(const std::filesystem::path& path);

// A full path: absolute, taken from the current folder, without "." steps.
std::filesystem::path AbsolutePath(const std::filesystem::path& argument);

// Printed with a usage error, on standard error.
extern const char kUsageText[];
// Printed by --help, on standard output.
extern const char kHelpText[];
// Printed by --version: the window's caption.
std::string VersionText();

}  // namespace elevara::cli
