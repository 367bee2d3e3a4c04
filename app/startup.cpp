#include "app/startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace elevara::app {

void PrepareApplication(QCoreApplication& application) {
  KeepNoSettings();
  UseJapaneseQtTexts(application);
}

bool UseJapaneseQtTexts(QCoreApplication& application) {
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  // Qt's own folder first (where Debian installs it), then one beside the executable, where a
  // program carried to another machine brings its copy.
  const QString folders[] = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
  // Owned by the application, which uses it for as long as it lives.
  auto* translator = new QTranslator(&application);
  for (const QString& folder : folders) {
    if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
      return QCoreApplication::installTranslator(translator);
    }
  }
  delete translator;
  return false;
}

void KeepNoSettings() {
  // User settings then live below a path that can never be a folder: reading them finds
  // nothing, and writing them fails without a word. Windows keeps native settings in the
  // registry, so there the file format is made the default first; its null device is "NUL".
#ifdef _WIN32
  QSettings::setDefaultFormat(QSettings::IniFormat);
  const QString nowhere = QStringLiteral("NUL");
#else
  const QString nowhere = QStringLiteral("/dev/null");
#endif
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    QSettings::setPath(format, QSettings::UserScope, nowhere);
  }
}

}  // namespace elevara::app
