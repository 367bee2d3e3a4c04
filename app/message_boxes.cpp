#include "app/message_boxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/modal_runner.h"
#include "app/texts.h"
#include "platform/text.h"

namespace elevara::app {
namespace {

void ShowBox(ModalRunner& runner, QMessageBox::Icon icon, const QString& caption,
             const QString& text) {
  // No parent: the box belongs to the application, not to a control, and blocks every window.
  QMessageBox box(icon, caption, QString(), QMessageBox::Ok);
  // Texts carry file names, which may hold anything that looks like markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.button(QMessageBox::Ok)->setText(QString::fromUtf8(text::kOk));
  runner.runMessageBox(box);
}

}  // namespace

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowPlainMessage(ModalRunner& runner, const QString& caption, const QString& text) {
  ShowBox(runner, QMessageBox::NoIcon, caption, text);
}

void ShowErrorBox(ModalRunner& runner, const QString& caption, std::string_view message) {
  ShowBox(runner, QMessageBox::Critical, caption, FromUtf8(ErrorDisplayText(message)));
}

}  // namespace elevara::app
