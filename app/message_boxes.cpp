#include "app/message_boxes.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "app/modal_runner.h"
#include "app/texts.h"
#include "app/window_font.h"
#include "commands/text_fields.h"

namespace elevara::app {
namespace {

// Qt's box wraps a text wider than half the screen at its own width, whenever it sizes itself
// (when shown and at every layout request). The texts shown here break their lines themselves,
// so the box grows to the widest line instead, as long as the screen holds it; only a longer
// line is wrapped.
class LineKeepingBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    keepLines();
  }

  bool event(QEvent* event) override {
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible()) keepLines();
    return handled;
  }

 private:
  void keepLines() {
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || !label->wordWrap()) return;
    label->setWordWrap(false);
    layout()->activate();
    const QSize unwrapped = layout()->totalMinimumSize();
    const QRect screenArea = screen()->availableGeometry();
    if (unwrapped.width() > screenArea.width()) {
      label->setWordWrap(true);
    } else {
      setFixedSize(unwrapped);
      move(screenArea.center() - rect().center());
    }
    // The label's change asks for a layout once more, which would wrap the text again.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
  }
};

void ShowBox(ModalRunner& runner, QMessageBox::Icon icon, const QString& caption,
             const QString& text) {
  // No parent: the box belongs to the application, not to a control, and blocks every window.
  LineKeepingBox box(icon, caption, QString(), QMessageBox::Ok);
  box.setFont(WindowFont());
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

void ShowFileErrorBox(ModalRunner& runner, const QString& caption, const QString& text) {
  ShowBox(runner, QMessageBox::Critical, caption, text);
}

bool AskToInterrupt(ModalRunner& runner, const QString& caption) {
  LineKeepingBox box(QMessageBox::Question, caption, QString::fromUtf8(text::kAskInterrupt),
                     QMessageBox::Yes | QMessageBox::No);
  box.setFont(WindowFont());
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Yes)->setText(QString::fromUtf8(text::kInterrupt));
  box.button(QMessageBox::No)->setText(QString::fromUtf8(text::kContinue));
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  runner.runMessageBox(box);
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

void ShowErrorBox(ModalRunner& runner, const QString& caption, std::string_view message) {
  ShowBox(runner, QMessageBox::Critical, caption, FromUtf8(ErrorDisplayText(message)));
}

}  // namespace elevara::app
