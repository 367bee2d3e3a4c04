// A modal runner for tests: it records every dialog and box the window would have shown, as the
// user would have seen it, and answers file dialogs from a queue instead of waiting for clicks.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include "app/modal_runner.h"

namespace elevara::app::testing {

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  Qt::TextFormat format = Qt::AutoText;
};

struct SeenDialog {
  QString title;
  QStringList filters;
  QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
  QFileDialog::FileMode fileMode = QFileDialog::ExistingFile;
  QFileDialog::Options options;
  QString objectName;
  // What the dialog offers before the user touches it, and the folder it shows.
  QStringList offered;
  QString folder;
};

class ScriptedRunner : public ModalRunner {
 public:
  // Answers for the file dialogs, in order; nullopt (or none left) cancels.
  std::deque<std::optional<QString>> answers;
  std::vector<SeenDialog> dialogs;
  std::vector<SeenBox> boxes;
  // Called while a dialog or box is "open", to look at the window at that moment.
  std::function<void()> onFileDialog;
  std::function<void()> onMessageBox;
  // Called with the box itself, to show it and measure it.
  std::function<void(QMessageBox&)> inspectBox;
  // The answer to a box that asks (one with a Yes button): Yes, else No.
  bool answerYes = true;

  std::optional<QString> runFileDialog(QFileDialog& dialog) override {
    dialogs.push_back({dialog.windowTitle(), dialog.nameFilters(), dialog.acceptMode(),
                       dialog.fileMode(), dialog.options(), dialog.objectName(),
                       dialog.selectedFiles(), dialog.directory().absolutePath()});
    if (onFileDialog) onFileDialog();
    if (answers.empty()) return std::nullopt;
    const bool chosen = answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    if (!chosen) return std::nullopt;
    return path;
  }

  void runMessageBox(QMessageBox& box) override {
    SeenBox seen{box.windowTitle(), box.text(), box.icon(), {}, box.textFormat()};
    for (QAbstractButton* button : box.buttons()) seen.buttons << button->text();
    boxes.push_back(seen);
    if (onMessageBox) onMessageBox();
    if (inspectBox) inspectBox(box);
    if (QAbstractButton* yes = box.button(QMessageBox::Yes)) {
      (answerYes ? yes : box.button(QMessageBox::No))->click();
    }
  }
};

// Runs `start` inside the application's message loop, as the program does, and tells whether
// the loop ended because the last window was closed.
inline bool MessageLoopEndsAfter(const std::function<void()>& start) {
  bool timedOut = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  guard.start(30000);
  QTimer::singleShot(0, start);
  const int code = QApplication::exec();
  return !timedOut && code == 0;
}

}  // namespace elevara::app::testing
