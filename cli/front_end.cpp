#include "cli/front_end.h"

#include <exception>
#include <optional>

#include "cli/arguments.h"
#include "cli/terminal_services.h"
#include "gml/gml_conversion.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "raster/dem5_merge.h"
#include "raster/nodata_replacement.h"
#include "raster/preview.h"

namespace elevara::cli {
namespace {

CommandResult RunSubcommand(const Invocation& invocation, Services& services) {
  switch (invocation.subcommand) {
    case Subcommand::kGml10:
      return RunGml10Conversion(services);
    case Subcommand::kGml5:
      return RunGml5Conversion(services);
    case Subcommand::kMerge:
      return RunDem5Merge(services);
    case Subcommand::kNoData:
      return RunNoDataReplacement(services, invocation.widthText, invocation.heightText);
    case Subcommand::kPreview:
      return RunPreview(services, *invocation.openAnswer, invocation.saveAnswer);
  }
  return {CommandOutcome::kFailed, {}};
}

int RunCommand(const Invocation& invocation, const Terminal& terminal) {
  std::optional<ProgressLine> progress;
  if (terminal.errIsTerminal) progress.emplace(terminal.err);
  TerminalServices services({invocation.openAnswer, invocation.saveAnswer}, terminal.out,
                            progress ? &*progress : nullptr, terminal.interruptSignal);
  // Every exception is caught here, so the stack unwinds and unfinished outputs remove their
  // temporary files before the process ends.
  try {
    CommandResult result = RunSubcommand(invocation, services);
    services.clearProgress();
    return ExitStatusAfter(result, terminal.err);
  } catch (const Interrupted& interrupted) {
    services.clearProgress();
    terminal.err << interrupted.what() << '\n';
    const int signal = terminal.interruptSignal;
    return kExitSignalBase + (signal != 0 ? signal : SIGINT);
  } catch (const std::exception& error) {
    services.clearProgress();
    terminal.err << ErrorDisplayText(error.what()) << '\n';
    return kExitNotFinished;
  } catch (...) {
    services.clearProgress();
    return kExitNotFinished;
  }
}

}  // namespace

int RunFrontEnd(std::span<const std::string_view> arguments, const Terminal& terminal) {
  Invocation invocation;
  try {
    invocation = ParseArguments(arguments);
  } catch (const UsageError& error) {
    terminal.err << "elevara-cli: " << error.what() << '\n' << kUsageText;
    return kExitUsage;
  }
  switch (invocation.kind) {
    case Invocation::Kind::kHelp:
      terminal.out << kHelpText;
      return kExitFinished;
    case Invocation::Kind::kVersion:
      terminal.out << VersionText() << '\n';
      return kExitFinished;
    case Invocation::Kind::kRun:
      break;
  }
  return RunCommand(invocation, terminal);
}

int ExitStatusAfter(const CommandResult& result, std::ostream& err) {
  if (result.skipped.size() > kFinalReportNamesShown) {
    for (const auto& path : result.skipped) err << DisplayPath(path) << '\n';
  }
  const bool clean =
      result.outcome == CommandOutcome::kFinished && result.skipped.empty() && !result.notice;
  return clean ? kExitFinished : kExitNotFinished;
}

}  // namespace elevara::cli
