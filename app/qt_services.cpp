#include "app/qt_services.h"

#include <algorithm>
#include <limits>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressBar>

#include "app/dialog_filter.h"
#include "app/file_dialogs.h"
#include "app/message_boxes.h"
#include "app/modal_runner.h"
#include "platform/errors.h"

namespace elevara::app {
namespace {

constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();

std::int64_t Magnitude(std::int64_t value) {
  if (value == std::numeric_limits<std::int64_t>::min())
    return std::numeric_limits<std::int64_t>::max();
  return value < 0 ? -value : value;
}

std::filesystem::path ToPath(const QString& path) {
#ifdef _WIN32
  return std::filesystem::path(path.toStdWString());
#else
  // File names are bytes here; encodeName gives the bytes the file system holds.
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString FolderOf(const QString& path) {
  return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

}  // namespace

BarRange ScaleForBar(std::int64_t minimum, std::int64_t maximum, std::int64_t position) {
  // An empty range would turn QProgressBar into a busy indicator; show an empty bar instead.
  if (maximum <= minimum) return {0, 1, 0};
  const std::int64_t largest = std::max(Magnitude(minimum), Magnitude(maximum));
  const std::int64_t factor = largest <= kIntMax ? 1 : (largest - 1) / kIntMax + 1;
  const std::int64_t value = std::clamp(position, minimum, maximum);
  return {static_cast<int>(minimum / factor), static_cast<int>(maximum / factor),
          static_cast<int>(value / factor)};
}

QtServices::QtServices(QFileDialog& openDialog, QFileDialog& saveDialog, QProgressBar& bar,
                       ModalRunner& runner, QString caption)
    : openDialog_(openDialog),
      saveDialog_(saveDialog),
      bar_(bar),
      runner_(runner),
      caption_(std::move(caption)) {
  showProgress();
}

std::optional<std::filesystem::path> QtServices::runOpenDialog(const std::string& title,
                                                               const std::string& filter) {
  PrepareOpenDialog(openDialog_, FromUtf8(title), QtNameFilters(filter));
  // Shared by every command, it offers the file last picked in it, in that file's folder.
  OfferPath(openDialog_, FolderOf(lastOpened_), QFileInfo(lastOpened_).fileName());
  return runFileDialog(openDialog_, lastOpened_);
}

std::optional<std::filesystem::path> QtServices::runSaveDialog(const std::string& title) {
  PrepareSaveDialog(saveDialog_, FromUtf8(title));
  // An output is mostly written beside its input, the file just picked in the open dialog.
  OfferPath(saveDialog_, FolderOf(lastOpened_), QFileInfo(lastSaved_).fileName());
  return runFileDialog(saveDialog_, lastSaved_);
}

std::optional<std::filesystem::path> QtServices::runFileDialog(QFileDialog& dialog,
                                                               QString& lastChosen) {
  std::optional<QString> chosen = runner_.runFileDialog(dialog);
  CloseCompletionLists(dialog);
  if (!chosen) return std::nullopt;
  lastChosen = *chosen;
  return ToPath(*chosen);
}

void QtServices::showMessage(const std::string& text) {
  ShowPlainMessage(runner_, caption_, FromUtf8(text));
}

void QtServices::showErrorMessage(const std::string& text) {
  ShowFileErrorBox(runner_, caption_, FromUtf8(text));
}

void QtServices::processMessages() {
  // Without a wait flag this returns as soon as nothing is pending.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (interruptRequested_) throw Interrupted();
}

void QtServices::pollMessages() {
  if (sincePolled_.isValid() && sincePolled_.elapsed() < kPollMs) return;
  sincePolled_.start();
  processMessages();
}

void QtServices::progressChanged(ProgressChange change) {
  switch (change) {
    case ProgressChange::kStep:
      return;
    case ProgressChange::kAdvance:
      // QProgressBar repaints at once on every visible change, which costs more than a row of
      // work; the bar is redrawn at most about sixty times a second, and whenever it reaches
      // its end.
      if (progress().position() < progress().maximum() && sinceShown_.isValid() &&
          sinceShown_.elapsed() < kRedrawMs) {
        return;
      }
      break;
    default:
      break;
  }
  showProgress();
}

void QtServices::showProgress() {
  const BarRange range =
      ScaleForBar(progress().minimum(), progress().maximum(), progress().position());
  bar_.setRange(range.minimum, range.maximum);
  bar_.setValue(range.value);
  sinceShown_.start();
}

}  // namespace elevara::app
