#include "app/modal_runner.h"

#include <QFileDialog>
#include <QMessageBox>

namespace elevara::app {

std::optional<QString> ModalRunner::runFileDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first();
}

void ModalRunner::runMessageBox(QMessageBox& box) {
  box.exec();
}

}  // namespace elevara::app
