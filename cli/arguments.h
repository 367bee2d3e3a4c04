// The command line of elevara-cli: what scripts call, turned into the answers the window's
// dialogs and edit fields would have given.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/product.h"

namespace elevara::cli {

enum class Subcommand { kGml10, kGml5, kMerge, kNoData, kPreview };

struct Invocation {
  enum class Kind { kRun, kHelp, kVersion };
  Kind kind = Kind::kRun;
  Subcommand subcommand = Subcommand::kNoData;
  // The open dialog's answer (PATH or INPUT) and the save dialog's (OUTPUT); nullopt when the
  // argument is missing, which the command treats as a cancelled dialog. For preview, the
  // raster (always given) and the picture.
  std::optional<std::filesystem::path> openAnswer;
  std::optional<std::filesystem::path> saveAnswer;
  // The texts of the window's pixel and line fields, converted by the command itself.
  std::string widthText = kDefaultWidthText;
  std::string heightText = kDefaultHeightText;
};

// A command line that does not fit the interface; what() says what is wrong in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `arguments` excludes the program name. Throws UsageError.
Invocation ParseArguments(std::span<const std::string_view> arguments);

// The open dialog's answer for a batch command, which uses only the answer's folder: a folder
// becomes a path inside it whose parent_path() is that folder; a file stays a file. Relative
// paths are made absolute, as a dialog's answer always is.
std::filesystem::path BatchDialogAnswer(const std::filesystem::path& argument);

// A full path as a dialog returns it: absolute, without "." steps.
std::filesystem::path DialogPath(const std::filesystem::path& argument);

// Printed with a usage error, on standard error.
extern const char kUsageText[];
// Printed by --help, on standard output.
extern const char kHelpText[];
// Printed by --version: the window's caption.
std::string VersionText();

}  // namespace elevara::cli
