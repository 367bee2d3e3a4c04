// What the program is started with: Qt's own labels in Japanese, and no trace left in the user's
// folders. The dialogs and boxes run for real here, each closed as soon as it is shown, and the
// user's folders are temporary ones from before the application starts.
#include <deque>
#include <functional>
#include <optional>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "app/modal_runner.h"
#include "app/startup.h"
#include "app/unit92.h"

using elevara::app::TForm92;

namespace {

// Runs every dialog and box modally, as the program does, and closes it from inside its own
// loop: a file dialog with the next answer (nullopt cancels), a box with its button.
class ClosingRunner : public elevara::app::ModalRunner {
 public:
  std::deque<std::optional<QString>> answers;
  // Called with each dialog and box while it is shown.
  std::function<void(QWidget&)> onShown;

  std::optional<QString> runFileDialog(QFileDialog& dialog) override {
    std::optional<QString> answer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    QTimer::singleShot(0, &dialog, [this, &dialog, answer] {
      if (onShown) onShown(dialog);
      if (!answer) return dialog.reject();
      dialog.selectFile(*answer);
      static_cast<QDialog&>(dialog).accept();
    });
    return ModalRunner::runFileDialog(dialog);
  }

  void runMessageBox(QMessageBox& box) override {
    QTimer::singleShot(0, &box, [this, &box] {
      if (onShown) onShown(box);
      box.accept();
    });
    ModalRunner::runMessageBox(box);
  }
};

QString WithoutMnemonic(QString text) {
  return text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
}

// The texts Qt itself gives a dialog or box: labels, buttons and their tips, actions, column
// titles, and the sidebar's own entries (not the names of the folders it lists). The texts the
// commands set (titles, filters, messages) and the files shown are left out.
QStringList QtOwnTexts(QWidget& root) {
  QStringList texts;
  for (QLabel* label : root.findChildren<QLabel*>()) {
    if (label->objectName() != u"qt_msgbox_label") texts << label->text();
  }
  for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
    texts << button->text() << button->toolTip();
  }
  for (QAction* action : root.findChildren<QAction*>()) texts << action->text();
  for (QHeaderView* header : root.findChildren<QHeaderView*>()) {
    for (int section = 0; section < header->count(); ++section) {
      texts << header->model()->headerData(section, header->orientation()).toString();
    }
  }
  if (auto* sidebar = root.findChild<QListView*>(QStringLiteral("sidebar"))) {
    const QAbstractItemModel& places = *sidebar->model();
    for (int row = 0; row < places.rowCount(); ++row) {
      const QModelIndex place = places.index(row, 0);
      if (place.data(Qt::UserRole + 1).toUrl().toLocalFile().isEmpty())
        texts << place.data().toString();
    }
  }
  QStringList shown;
  for (const QString& text : texts) {
    if (!text.isEmpty()) shown << WithoutMnemonic(text);
  }
  return shown;
}

// A word of Latin letters; "OK" is what Qt's Japanese translation itself puts on the button.
bool ReadsAsEnglish(const QString& text) {
  return text != u"OK" && text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")));
}

QStringList FilesBelow(const QString& folder) {
  QStringList files;
  QDirIterator entries(folder,
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
  while (entries.hasNext()) files << entries.next();
  return files;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 public:
  explicit StartupTest(QString home) : home_(std::move(home)) {}

 private slots:
  void qtOwnLabelsAreJapanese();
  void nothingKeptInTheUsersFolders();

 private:
  QString home_;
};

void StartupTest::qtOwnLabelsAreJapanese() {
  QTemporaryDir work;
  const QString input = work.filePath("in.raw");
  QVERIFY(QFile(input).open(QIODevice::WriteOnly));
  ClosingRunner runner;
  QStringList seen;
  QStringList english;
  runner.onShown = [&](QWidget& shown) {
    seen << shown.metaObject()->className();
    for (const QString& text : QtOwnTexts(shown)) {
      if (ReadsAsEnglish(text)) english << text;
    }
  };
  TForm92 window("Elevara", &runner);
  window.show();
  // The no-data command meets every kind: the open dialog, the save dialog (cancelled), a box.
  runner.answers = {input, std::nullopt};
  window.Button4->click();
  QCOMPARE(seen, (QStringList{"QFileDialog", "QFileDialog", "QMessageBox"}));
  QVERIFY2(english.isEmpty(), qPrintable(english.join(u" | ")));
  // The titles and filters stay the commands' own.
  QCOMPARE(window.OpenDialog1->windowTitle(), QString::fromUtf8("変換対象ファイルを指定する"));
  auto* types = window.OpenDialog1->findChild<QComboBox*>("fileTypeCombo");
  QCOMPARE(types->itemText(0).trimmed(), QString::fromUtf8("RAWファイル (*.*)"));
}

// Every dialog opened and cancelled, a command run to its end, the window closed: the user's
// home, configuration and data folders hold nothing new.
void StartupTest::nothingKeptInTheUsersFolders() {
  QTemporaryDir work;
  const QString input = work.filePath("in.raw");
  QFile file(input);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QCOMPARE(file.write(QByteArray(16, '\0')), qint64{16});
  file.close();
  {
    ClosingRunner runner;
    TForm92 window("Elevara", &runner);
    window.show();
    window.Edit1->setText("2");
    window.Edit2->setText("2");
    for (QPushButton* run : {window.Button1, window.Button6, window.Button8, window.Button4}) {
      run->click();
    }
    runner.answers = {input, std::nullopt};
    window.Button4->click();
    runner.answers = {input, work.filePath("out.raw")};
    window.Button4->click();
    QVERIFY(QFile::exists(work.filePath("out.raw.hd1")));
    window.Button2->click();
    window.close();
  }
  QCOMPARE(FilesBelow(home_), QStringList{});
}

int main(int argc, char* argv[]) {
  // Qt looks up the user's folders from these when it first needs them.
  QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(".local/share")));
  QApplication application(argc, argv);
  elevara::app::PrepareApplication(application);
  StartupTest test(home.path());
  return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
