#include "cli/front_end.h"

#include <exception>
#include <functional>
#include <optional>

#include "cli/arguments.h"
#include "cli/terminal_output.h"
#include "commands/geotiff_command.h"
#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "commands/nodata_command.h"
#include "commands/preview_command.h"
#include "commands/text_fields.h"
#include "platform/errors.h"
#include "platform/parallel_jobs.h"

namespace elevara::cli {
namespace {

// What one subcommand works with: its arguments, the files, the terminal's progress and messages.
struct Run {
  const Invocation& invocation;
  FileSystem& fs;
  Progress& progress;
  TerminalMessages& messages;
};

// A batch subcommand: the folder named by PATH converted or merged by `workers` workers, and the
// final report.
CommandResult RunBatch(const Run& run, const char* notFound, int workers, const BatchCall& call) {
  // ParseArguments has made sure that PATH is given and exists.
  const std::filesystem::path folder = FolderOf(*run.invocation.input);
  BatchReport report =
      ReportOfBatch(call({run.fs, run.progress, folder, workers}), notFound, folder);
  run.messages.say(report.text);
  return {report.outcome, std::move(report.skipped), report.notice};
}

CommandResult RunGml(const Run& run, const GmlConversion& conversion) {
  return RunBatch(run, gml_text::kNoFileFound, run.invocation.jobs.value_or(AvailableCores()),
                  [&](const BatchContext& context) {
                    return ConvertGmlFolder(context, conversion, {run.invocation.seaLevelZero});
                  });
}

CommandResult RunMerge(const Run& run) {
  return RunBatch(run, dem5_text::kNotFound, 1, MergeDem5Folder);
}

// The no-data replacement, in the order of the window's: the sizes checked, the input opened and
// held against its sidecar, then the output written. The input is closed before any message.
CommandResult RunNoData(const Run& run) {
  const std::int32_t width = ConvertEditInteger(run.invocation.widthText);
  const std::int32_t height = ConvertEditInteger(run.invocation.heightText);
  if (const char* problem = NoDataSizeProblem(width, height)) {
    run.messages.say(problem);
    return {CommandOutcome::kOutOfRange, {}};
  }
  if (!run.invocation.input) {
    run.messages.say(nodata_text::kNoInput);
    return {CommandOutcome::kCancelled, {}};
  }
  const RasterSize size{width, height};
  std::optional<NoDataInput> input = NoDataInput::Open(run.fs, *run.invocation.input, size);
  if (auto stated = input->sidecarSizeIfOther(run.fs)) {
    input.reset();
    run.messages.say(SizeMismatchMessage(*stated, size));
    return {CommandOutcome::kOutOfRange, {}};
  }
  if (!run.invocation.output) {
    input.reset();
    run.messages.say(nodata_text::kNoOutput);
    return {CommandOutcome::kCancelled, {}};
  }
  const NoDataCopy copy =
      NoDataCopy::Write(run.fs, run.progress, std::move(*input), *run.invocation.output);
  run.messages.say(NoDataReport(copy));
  return {CommandOutcome::kFinished, {}, copy.inputShort || copy.inputLong};
}

CommandResult RunPreviewOf(const Run& run) {
  const std::filesystem::path& raster = *run.invocation.input;
  const PreviewOutcome outcome = DrawPreview(
      run.fs, run.progress, raster, run.invocation.output.value_or(std::filesystem::path()));
  run.messages.say(PreviewReport(outcome, raster));
  const bool written = outcome.status == PreviewOutcome::Status::kWritten;
  return {written ? CommandOutcome::kFinished : CommandOutcome::kFailed, {}};
}

// A folder: every raster in it, as the window's command; a file: that raster alone.
CommandResult RunGeoTiff(const Run& run) {
  std::error_code ignored;
  if (std::filesystem::is_directory(*run.invocation.input, ignored)) {
    return RunBatch(run, geotiff_text::kNotFound, 1, ExportGeoTiffFolder);
  }
  const std::filesystem::path& raster = *run.invocation.input;
  const GeoTiffOutcome outcome = ExportGeoTiff(run.fs, run.progress, raster);
  run.messages.say(GeoTiffReport(outcome, raster));
  return {outcome.refusal ? CommandOutcome::kFailed : CommandOutcome::kFinished, {}};
}

CommandResult RunSubcommand(const Run& run) {
  switch (run.invocation.subcommand) {
    case Subcommand::kGml10:
      return RunGml(run, kGml10Conversion);
    case Subcommand::kGml5:
      return RunGml(run, kGml5Conversion);
    case Subcommand::kGml1:
      return RunGml(run, kGml1Conversion);
    case Subcommand::kMerge:
      return RunMerge(run);
    case Subcommand::kNoData:
      return RunNoData(run);
    case Subcommand::kPreview:
      return RunPreviewOf(run);
    case Subcommand::kGeoTiff:
      return RunGeoTiff(run);
  }
  return {CommandOutcome::kFailed, {}};
}

int ExitStatusOfInterrupt(const Terminal& terminal) {
  const int signal = terminal.interruptSignal;
  return kExitSignalBase + (signal != 0 ? signal : SIGINT);
}

int RunCommand(const Invocation& invocation, const Terminal& terminal) {
  std::optional<ProgressLine> line;
  if (terminal.errIsTerminal) line.emplace(terminal.err);
  ProgressLine* shown = line ? &*line : nullptr;
  TerminalProgress progress(shown, terminal.interruptSignal);
  TerminalMessages messages(terminal.out, shown);
  // Every exception is caught here, so the stack unwinds and unfinished outputs remove their
  // temporary files before the process ends.
  try {
    CommandResult result = RunSubcommand({invocation, SystemFileSystem(), progress, messages});
    messages.clearProgress();
    return ExitStatusAfter(result, terminal.err);
  } catch (const Interrupted& interrupted) {
    messages.clearProgress();
    terminal.err << InterruptedReport(interrupted) << '\n';
    return ExitStatusOfInterrupt(terminal);
  } catch (const FileError& error) {
    // A read or write the interrupt cut short is the interrupt.
    if (terminal.interruptSignal != 0) {
      messages.clearProgress();
      terminal.err << kInterruptedMessage << '\n';
      return ExitStatusOfInterrupt(terminal);
    }
    // A file that cannot be read or written is the run's message, as in the window.
    messages.say(error.what());
    return kExitNotFinished;
  } catch (const std::exception& error) {
    messages.clearProgress();
    terminal.err << ErrorDisplayText(error.what()) << '\n';
    return kExitNotFinished;
  } catch (...) {
    messages.clearProgress();
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
