// Saves pictures for the documentation: the window as it appears right after start-up and, when
// asked, the open dialog of the GML commands showing a folder of tiles:
//   xvfb-run -a -s "-screen 0 1024x768x24" elevara_window_shot docs/window.png
//   LANG=ja_JP.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" elevara_window_shot docs/window.png
//     docs/open-dialog.png samples
// The dialog shows sizes and dates in the system's formats; LANG gives the Japanese ones.
#include <cstdio>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPixmap>
#include <QScreen>

#include "app/modal_runner.h"
#include "app/qt_services.h"
#include "app/startup.h"
#include "app/unit92.h"
#include "commands/gml_command.h"

namespace {

// Lets the window system map and paint a window before its pixels are read back.
void Settle() {
  QElapsedTimer settling;
  settling.start();
  while (settling.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool SaveShot(QWidget& widget, const char* path) {
  const QPixmap shot = widget.screen()->grabWindow(widget.winId());
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(path), "PNG")) {
    std::fprintf(stderr, "elevara_window_shot: cannot save %s\n", path);
    return false;
  }
  return true;
}

// Shows the dialog in `folder` with its first tile picked, takes its picture, then cancels it.
class DialogShot : public elevara::app::ModalRunner {
 public:
  DialogShot(QString folder, const char* path) : folder_(std::move(folder)), path_(path) {}

  std::optional<QString> runFileDialog(QFileDialog& dialog) override {
    const QStringList tiles = QDir(folder_).entryList({QStringLiteral("*.xml")}, QDir::Files);
    dialog.setDirectory(folder_);
    if (!tiles.isEmpty()) dialog.selectFile(tiles.first());
    dialog.show();
    Settle();
    saved = SaveShot(dialog, path_);
    dialog.hide();
    return std::nullopt;
  }

  bool saved = false;

 private:
  QString folder_;
  const char* path_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: elevara_window_shot WINDOW.png [DIALOG.png TILE_FOLDER]\n");
    return 2;
  }
  elevara::app::PrepareApplication(application);
  QApplication::setWindowIcon(elevara::app::ApplicationIcon());
  std::optional<DialogShot> dialogShot;
  if (argc == 4) dialogShot.emplace(QString::fromLocal8Bit(argv[3]), argv[2]);
  elevara::app::TForm92 window("elevara", dialogShot ? &*dialogShot : nullptr);
  window.show();
  Settle();
  if (!SaveShot(window, argv[1])) return 1;
  if (!dialogShot) return 0;
  window.services().runOpenDialog(elevara::gml_text::kOpenTitle, elevara::gml_text::kOpenFilter);
  return dialogShot->saved ? 0 : 1;
}
