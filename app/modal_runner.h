// How the window runs its modal dialogs and boxes. The window configures each one completely and
// hands it over here; the real runner executes it, a test runner inspects it and answers.
#pragma once

#include <optional>

#include <QString>

class QFileDialog;
class QMessageBox;

namespace elevara::app {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;

  // The full path of the chosen file, or nullopt when the dialog was cancelled.
  virtual std::optional<QString> runFileDialog(QFileDialog& dialog);
  // Returns when the user has closed the box.
  virtual void runMessageBox(QMessageBox& box);
};

}  // namespace elevara::app
