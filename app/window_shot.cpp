// Saves a picture of the window as it appears right after start-up, for the documentation:
//   xvfb-run -a -s "-screen 0 1024x768x24" elevara_window_shot docs/window.png
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>

#include "app/unit92.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: elevara_window_shot OUTPUT.png\n");
    return 2;
  }
  QApplication::setWindowIcon(elevara::app::ApplicationIcon());
  elevara::app::TForm92 window("elevara");
  window.show();
  // Let the window system map and paint the window before its pixels are read back.
  QElapsedTimer settling;
  settling.start();
  while (settling.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 50);
  const QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "elevara_window_shot: cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
