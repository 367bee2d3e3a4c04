// The services the window gives the commands, realised with Qt widgets.
#pragma once

#include <cstdint>

#include <QElapsedTimer>
#include <QString>

#include "platform/services.h"

class QFileDialog;
class QProgressBar;

namespace elevara::app {

class ModalRunner;

// QProgressBar counts in int; the commands count in 64 bits. Values are divided by one common
// factor, just large enough that the largest of them fits.
struct BarRange {
  int minimum = 0;
  int maximum = 0;
  int value = 0;
};
BarRange ScaleForBar(std::int64_t minimum, std::int64_t maximum, std::int64_t position);

class QtServices final : public Services {
 public:
  QtServices(QFileDialog& openDialog, QFileDialog& saveDialog, QProgressBar& bar,
             ModalRunner& runner, QString caption);

  std::optional<std::filesystem::path> runOpenDialog(const std::string& title,
                                                     const std::string& filter) override;
  std::optional<std::filesystem::path> runSaveDialog(const std::string& title) override;
  void showMessage(const std::string& text) override;
  void processMessages() override;

 protected:
  void progressChanged(ProgressChange change) override;

 private:
  std::optional<std::filesystem::path> runFileDialog(QFileDialog& dialog, QString& lastChosen);
  void showProgress();

  QFileDialog& openDialog_;
  QFileDialog& saveDialog_;
  QProgressBar& bar_;
  ModalRunner& runner_;
  QString caption_;
  // What each dialog offers again; the open dialog is shared by every command.
  QString lastOpened_;
  QString lastSaved_;
  static constexpr qint64 kRedrawMs = 16;
  QElapsedTimer sinceShown_;
};

// Title, filter and options of the open dialog: it accepts the typed name of a file that does
// not exist, as the commands report a missing input themselves.
void PrepareOpenDialog(QFileDialog& dialog, const QString& title, const QStringList& filters);
// The save dialog replaces an existing file without asking.
void PrepareSaveDialog(QFileDialog& dialog, const QString& title);

}  // namespace elevara::app
