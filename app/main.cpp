// Start-up: the application, its one window, the message loop. The process always ends with
// exit code 0; a failure on the way is shown in the error box first.
#include <exception>
#include <string>

#include <QApplication>

#include "app/message_boxes.h"
#include "app/modal_runner.h"
#include "app/startup.h"
#include "app/unit92.h"
#include "commands/text_fields.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  elevara::app::PrepareApplication(application);
  QApplication::setWindowIcon(elevara::app::ApplicationIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("elevara"));
  // The program's name from the command line as Qt decoded it (from UTF-16 on Windows), in
  // UTF-8; argv holds it in the system's narrow code page there.
  const std::string title =
      elevara::ApplicationTitle(QCoreApplication::arguments().value(0).toStdString());
  elevara::app::ModalRunner runner;
  try {
    elevara::app::TForm92 Form92(title, &runner);
    Form92.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    elevara::app::ShowErrorBox(runner, elevara::app::FromUtf8(title), error.what());
  } catch (...) {
    elevara::app::ShowErrorBox(runner, elevara::app::FromUtf8(title), {});
  }
  return 0;
}
