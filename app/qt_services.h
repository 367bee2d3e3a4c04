// The services the window gives the commands, realised with Qt widgets.
#pragma once

#include <cstdint>

#include <QElapsedTimer>
#include <QString>

#include "commands/services.h"

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
  void showErrorMessage(const std::string& text) override;
  // Throws Interrupted once an interrupt has been requested, as the terminal does after Ctrl-C.
  void processMessages() override;
  // processMessages() at most every kPollMs: Qt's event processing costs more than a block of
  // the work between steps.
  void pollMessages() override;

  // The running command stops at its next progress step (set by a close of the window).
  void setInterruptRequested(bool requested) { interruptRequested_ = requested; }

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
  bool interruptRequested_ = false;
  static constexpr qint64 kRedrawMs = 16;
  QElapsedTimer sinceShown_;
  static constexpr qint64 kPollMs = 50;
  QElapsedTimer sincePolled_;
};

}  // namespace elevara::app
