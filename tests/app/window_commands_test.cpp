// Commands run from the window: the error box, the progress bar, the controls while a command
// runs, a close asked for meanwhile, and the paths the dialogs offer again.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/qt_services.h"
#include "app/startup.h"
#include "app/unit92.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "tests/app/scripted_runner.h"

using elevara::app::TForm92;
using elevara::app::testing::MessageLoopEndsAfter;
using elevara::app::testing::ScriptedRunner;

namespace {

constexpr float kNoData = -9999.0f;

QByteArray Bytes(const std::vector<float>& values) {
  QByteArray bytes(static_cast<qsizetype>(values.size() * sizeof(float)), '\0');
  std::memcpy(bytes.data(), values.data(), static_cast<std::size_t>(bytes.size()));
  return bytes;
}

// The shared whole-file helpers, for the window's QString paths.
void WriteFile(const QString& path, const QByteArray& bytes) {
  elevara::testing::WriteBytes(QFile::encodeName(path).toStdString(), bytes.toStdString());
}

QByteArray ReadFile(const QString& path) {
  return QByteArray::fromStdString(
      elevara::testing::ReadBytes(QFile::encodeName(path).toStdString()));
}

// A window ready to replace the no-data values of a 4 x 3 raster in a temporary folder.
struct NoDataRun {
  QTemporaryDir folder;
  QString input = folder.filePath("in.raw");
  QString output = folder.filePath("out.raw");
  ScriptedRunner runner;
  TForm92 window{"Elevara", &runner};

  NoDataRun() {
    WriteFile(input, Bytes({1, kNoData, 3, 4, kNoData, kNoData, 7, 8, 9, 10, 11, kNoData}));
    window.Edit1->setText("4");
    window.Edit2->setText("3");
    runner.answers = {input, output};
    window.show();
  }
};

QList<QWidget*> CommandControls(TForm92& window) {
  return {window.Button1,  window.Button2,  window.Button4, window.Button5,
          window.Button6,  window.Button7,  window.Button8, window.Button9,
          window.Button12, window.Button13, window.Edit1,   window.Edit2};
}

}  // namespace

class WindowCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  // As the program does, so that the file dialogs leave no history in the user's settings.
  void initTestCase() { elevara::app::KeepNoSettings(); }
  void noDataReplacementEndToEnd();
  void notAnIntegerShowsErrorBoxAndWindowStaysUsable_data();
  void notAnIntegerShowsErrorBoxAndWindowStaysUsable();
  void controlsDisabledWhileCommandRuns();
  void closeInterruptsCommand_data();
  void closeInterruptsCommand();
  void fileErrorShowsErrorIcon();
  void completionListClosedBeforeCommandRuns();
  void dialogsOfferLastChosenPath();
  void batchButtonsRunTheirCommands_data();
  void batchButtonsRunTheirCommands();
  void gml5ConversionEndToEnd();
  void gmlButtonsPassTheSeaCheckBox_data();
  void gmlButtonsPassTheSeaCheckBox();
};

void WindowCommandsTest::batchButtonsRunTheirCommands_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("cancelled");
  QTest::addColumn<QString>("notFound");
  const QString gmlTitle = QString::fromUtf8("対象GMLファイル（１ファイル）を指定する");
  const QString gmlCancelled =
      QString::fromUtf8("対象GMLファイルが指定されていません\n再度、実行してください");
  const QString gmlNotFound =
      QString::fromUtf8("対象GMLファイルが見つかりません\n再度、実行してください");
  QTest::newRow("GML10") << "Button1" << gmlTitle << gmlCancelled << gmlNotFound;
  QTest::newRow("GML5") << "Button6" << gmlTitle << gmlCancelled << gmlNotFound;
  QTest::newRow("DEM5 merge")
      << "Button8" << QString::fromUtf8("対象DEM5ファイル（１ファイル）を指定する")
      << QString::fromUtf8("対象DEM5ファイルが指定されていません\n再度、実行してください")
      << QString::fromUtf8("対象DEM5ファイルが見つかりません\n再度、実行してください");
  QTest::newRow("GeoTIFF")
      << "Button12" << QString::fromUtf8("対象Floating RAWファイル（１ファイル）を指定する")
      << QString::fromUtf8("対象Floating RAWファイルが指定されていません\n再度、実行してください")
      << QString::fromUtf8(
             "対象Floating RAWファイル（.hd1 と .hdr "
             "のあるもの）が見つかりません\n再度、実行してください");
}

// Each Run button starts its own command: its dialog, then its messages for a cancelled
// dialog and for a folder with nothing to convert.
void WindowCommandsTest::batchButtonsRunTheirCommands() {
  QFETCH(QString, button);
  QFETCH(QString, title);
  QFETCH(QString, cancelled);
  QFETCH(QString, notFound);
  QTemporaryDir folder;
  ScriptedRunner runner;
  TForm92 window{"Elevara", &runner};
  auto* run = window.findChild<QPushButton*>(button);
  QVERIFY(run != nullptr);

  runner.answers = {std::nullopt, folder.filePath("picked.xml")};
  run->click();
  run->click();
  QCOMPARE(runner.dialogs.size(), std::size_t{2});
  QCOMPARE(runner.dialogs[0].title, title);
  QCOMPARE(runner.dialogs[0].objectName, QStringLiteral("OpenDialog1"));
  QCOMPARE(runner.boxes.size(), std::size_t{2});
  QCOMPARE(runner.boxes[0].text, cancelled);
  QCOMPARE(runner.boxes[1].text, notFound);
  QCOMPARE(window.ProgressBar1->value(), 0);
}

void WindowCommandsTest::gml5ConversionEndToEnd() {
  QTemporaryDir folder;
  const QString tile = QStringLiteral("FG-GML-3624-30-98-DEM5B-20170202.xml");
  QVERIFY(QFile::copy(QStringLiteral(ELEVARA_SAMPLES "/") + tile, folder.filePath(tile)));
  ScriptedRunner runner;
  TForm92 window{"Elevara", &runner};
  runner.answers = {folder.filePath(tile)};
  int barAtFinalMessage = -1;
  runner.onMessageBox = [&] { barAtFinalMessage = window.ProgressBar1->value(); };
  window.Button6->click();

  QCOMPARE(runner.boxes.size(), std::size_t{1});
  QCOMPARE(runner.boxes[0].text, QString::fromUtf8("ファイル変換を終了しました"));
  // The mosaic phase of one code: one step per mosaic row.
  QCOMPARE(window.ProgressBar1->maximum(), 1500);
  QCOMPARE(barAtFinalMessage, 1500);
  QCOMPARE(window.ProgressBar1->value(), 0);
  QCOMPARE(QFileInfo(folder.filePath("362430-DEM5")).size(), qint64{13'500'000});
  QCOMPARE(ReadFile(folder.filePath("362430-DEM5.hd1")),
           QByteArray("2250 width\r\n1500 height\r\n4 data_type\r\n"));
  QVERIFY(QFile::exists(folder.filePath("36243098-DEM5")));
  QVERIFY(QFile::exists(folder.filePath("gml_name.txt")));
  QVERIFY(!QFile::exists(folder.filePath("dtm.txt")));
}

void WindowCommandsTest::noDataReplacementEndToEnd() {
  NoDataRun run;
  int barAtFinalMessage = -1;
  run.runner.onMessageBox = [&] { barAtFinalMessage = run.window.ProgressBar1->value(); };
  run.window.Button4->click();

  QCOMPARE(run.runner.dialogs.size(), std::size_t{2});
  QCOMPARE(run.runner.dialogs[0].objectName, QStringLiteral("OpenDialog1"));
  QCOMPARE(run.runner.dialogs[1].objectName, QStringLiteral("SaveDialog1"));
  QCOMPARE(run.runner.boxes.size(), std::size_t{1});
  QCOMPARE(run.runner.boxes[0].text, QString::fromUtf8("ファイル変換を終了しました"));
  QCOMPARE(run.runner.boxes[0].icon, QMessageBox::NoIcon);
  // One step per row, a full bar under the final message, empty once it is closed.
  QCOMPARE(barAtFinalMessage, 3);
  QCOMPARE(run.window.ProgressBar1->minimum(), 0);
  QCOMPARE(run.window.ProgressBar1->maximum(), 3);
  QCOMPARE(run.window.ProgressBar1->value(), 0);
  QCOMPARE(run.window.services().progress().step(), 1);

  QCOMPARE(ReadFile(run.output), Bytes({1, 0, 3, 4, 0, 0, 7, 8, 9, 10, 11, 0}));
  QCOMPARE(ReadFile(run.output + ".hd1"), QByteArray("4 width\r\n3 height\r\n4 data_type\r\n"));
}

void WindowCommandsTest::notAnIntegerShowsErrorBoxAndWindowStaysUsable_data() {
  QTest::addColumn<QString>("width");
  QTest::addColumn<QString>("height");
  QTest::addColumn<QString>("message");
  QTest::newRow("letters in Edit1") << "abc"
                                    << "3"
                                    << "'abc' は整数ではありません.";
  QTest::newRow("trailing blank in Edit2") << "4"
                                           << "3 "
                                           << "'3 ' は整数ではありません.";
  QTest::newRow("empty Edit1") << ""
                               << "3"
                               << "'' は整数ではありません.";
}

void WindowCommandsTest::notAnIntegerShowsErrorBoxAndWindowStaysUsable() {
  QFETCH(QString, width);
  QFETCH(QString, height);
  QFETCH(QString, message);
  NoDataRun run;
  run.window.Edit1->setText(width);
  run.window.Edit2->setText(height);
  run.window.Button4->click();

  QCOMPARE(run.runner.boxes.size(), std::size_t{1});
  QCOMPARE(run.runner.boxes[0].text, message);
  QCOMPARE(run.runner.boxes[0].icon, QMessageBox::Critical);
  QCOMPARE(run.runner.boxes[0].buttons, QStringList{"OK"});
  QCOMPARE(run.runner.boxes[0].caption, QStringLiteral("Elevara"));
  QVERIFY(run.runner.dialogs.empty());
  QVERIFY(!QFile::exists(run.output));
  QVERIFY(!run.window.commandRunning());
  for (QWidget* control : CommandControls(run.window)) QVERIFY(control->isEnabled());

  run.window.Edit1->setText("4");
  run.window.Edit2->setText("3");
  run.window.Button4->click();
  QCOMPARE(run.runner.boxes.size(), std::size_t{2});
  QCOMPARE(run.runner.boxes[1].text, QString::fromUtf8("ファイル変換を終了しました"));
  QVERIFY(QFile::exists(run.output + ".hd1"));
}

void WindowCommandsTest::controlsDisabledWhileCommandRuns() {
  NoDataRun run;
  QList<bool> enabledAtDialog;
  run.runner.onFileDialog = [&] {
    if (!enabledAtDialog.isEmpty()) return;
    for (QWidget* control : CommandControls(run.window)) enabledAtDialog << control->isEnabled();
  };
  bool ranInsideCommand = false;
  bool exitEnabled = false;
  // Clicks and typing that reach the window while the rows are processed.
  QMetaObject::invokeMethod(
      &run.window,
      [&] {
        ranInsideCommand = run.window.commandRunning();
        exitEnabled = run.window.Button3->isEnabled();
        QTest::mouseClick(run.window.Button4, Qt::LeftButton);
        QTest::mouseClick(run.window.Button1, Qt::LeftButton);
        QTest::mouseClick(run.window.Button5, Qt::LeftButton);
        QTest::keyClicks(run.window.Edit1, "77");
      },
      Qt::QueuedConnection);
  run.window.Button4->click();

  QVERIFY(ranInsideCommand);
  QVERIFY(exitEnabled);
  QCOMPARE(enabledAtDialog, QList<bool>(CommandControls(run.window).size(), false));
  // Only the one command ran: its two dialogs and its final message, nothing nested.
  QCOMPARE(run.runner.dialogs.size(), std::size_t{2});
  QCOMPARE(run.runner.boxes.size(), std::size_t{1});
  QCOMPARE(run.window.Edit1->text(), QStringLiteral("4"));
  for (QWidget* control : CommandControls(run.window)) QVERIFY(control->isEnabled());
}

void WindowCommandsTest::closeInterruptsCommand_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("picked");
  QTest::addColumn<QStringList>("earlier");
  QTest::addColumn<int>("phaseSteps");
  QTest::addColumn<bool>("exitButton");
  QTest::addColumn<bool>("interrupt");
  QTest::addColumn<QStringList>("left");
  QTest::addColumn<QString>("report");
  const QString tile = QStringLiteral("FG-GML-3624-30-98-DEM5B-20170202.xml");
  const QString unwritten = QString::fromUtf8("中断しました\n書き出さなかったファイル：1件\n");
  QTest::newRow("no-data, Exit button")
      << "Button4"
      << "in.raw" << QStringList{"out.raw"} << 3 << true << true << QStringList{"in.raw", "out.raw"}
      << unwritten + "out.raw";
  QTest::newRow("no-data, close box") << "Button4"
                                      << "in.raw" << QStringList{"out.raw"} << 3 << false << true
                                      << QStringList{"in.raw", "out.raw"} << unwritten + "out.raw";
  QTest::newRow("no-data, go on") << "Button4"
                                  << "in.raw" << QStringList{} << 3 << true << false
                                  << QStringList{"in.raw", "out.raw", "out.raw.hd1"}
                                  << QString::fromUtf8("ファイル変換を終了しました");
  // The tile phase of one tile has 300 steps, the mosaic phase of its one code 1500.
  QTest::newRow("GML5, tile phase")
      << "Button6" << tile << QStringList{"362430-DEM5"} << 300 << false << true
      << QStringList{tile, "362430-DEM5", "gml_name.txt"} << unwritten + "362430-DEM5";
  QTest::newRow("GML5, mosaic phase")
      << "Button6" << tile << QStringList{"362430-DEM5"} << 1500 << false << true
      << QStringList{tile, "36243098-DEM5", "362430-DEM5", "gml_name.txt"}
      << unwritten + "362430-DEM5";
  QTest::newRow("DEM5 merge") << "Button8"
                              << "362430-DEM5.raw" << QStringList{"3624-DEM5"} << 12000 << true
                              << true
                              << QStringList{"362430-DEM5.raw", "3624-DEM5", "dem5_name.txt"}
                              << unwritten + "3624-DEM5";
}

// A close during a run asks first. Confirmed, it stops the command at the first progress step
// of the phase with `phaseSteps` steps, as Ctrl-C does in the terminal: nothing new under any
// name, no working or temporary file left over, the earlier outputs untouched, a box naming the
// outputs not written; then the window closes. Declined, the command goes on to its end.
void WindowCommandsTest::closeInterruptsCommand() {
  QFETCH(QString, button);
  QFETCH(QString, picked);
  QFETCH(QStringList, earlier);
  QFETCH(int, phaseSteps);
  QFETCH(bool, exitButton);
  QFETCH(bool, interrupt);
  QFETCH(QStringList, left);
  QFETCH(QString, report);
  NoDataRun run;
  QVERIFY(QFile::remove(run.input));
  const QString pickedPath = run.folder.filePath(picked);
  if (picked.endsWith(".xml")) {
    QVERIFY(QFile::copy(QStringLiteral(ELEVARA_SAMPLES "/") + picked, pickedPath));
  } else {
    WriteFile(pickedPath, Bytes(std::vector<float>(12, kNoData)));
  }
  for (const QString& name : earlier) WriteFile(run.folder.filePath(name), "earlier");
  run.runner.answers = {pickedPath, run.output};
  run.runner.answerYes = interrupt;
  // Declined, the window is closed once the command has shown its final message.
  run.runner.onMessageBox = [&] {
    if (!interrupt && run.runner.boxes.size() == 2) {
      QTimer::singleShot(0, &run.window, [&] { run.window.close(); });
    }
  };
  QVERIFY(QTest::qWaitForWindowExposed(&run.window));

  std::function<void()> closeInPhase = [&] {
    if (run.window.ProgressBar1->maximum() != phaseSteps) {
      QMetaObject::invokeMethod(&run.window, closeInPhase, Qt::QueuedConnection);
    } else if (exitButton) {
      QTest::mouseClick(run.window.Button3, Qt::LeftButton);
    } else {
      run.window.close();
    }
  };
  QVERIFY(MessageLoopEndsAfter([&] {
    QMetaObject::invokeMethod(&run.window, closeInPhase, Qt::QueuedConnection);
    run.window.findChild<QPushButton*>(button)->click();
  }));

  QVERIFY(!run.window.isVisible());
  QCOMPARE(run.runner.boxes.size(), std::size_t{2});
  QCOMPARE(run.runner.boxes[0].text, QString::fromUtf8("変換中です。中断しますか？"));
  QCOMPARE(run.runner.boxes[0].buttons,
           QStringList({QString::fromUtf8("中断する"), QString::fromUtf8("続ける")}));
  QCOMPARE(run.runner.boxes[1].text, report);
  for (const QString& name : earlier) QCOMPARE(ReadFile(run.folder.filePath(name)), "earlier");
  QDir folder(run.folder.path());
  const QStringList entries =
      folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  left.sort();
  QCOMPARE(entries, left);
}

void WindowCommandsTest::fileErrorShowsErrorIcon() {
  NoDataRun run;
  const QString missing = run.folder.filePath("missing.raw");
  run.runner.answers = {missing};
  run.window.Button4->click();
  QCOMPARE(run.runner.boxes.size(), std::size_t{1});
  QCOMPARE(run.runner.boxes[0].icon, QMessageBox::Critical);
  QCOMPARE(run.runner.boxes[0].text, QString::fromUtf8("ファイルを開けません\n") +
                                         QDir::toNativeSeparators(missing) +
                                         QString::fromUtf8("\nファイルまたはフォルダがありません"));
}

// The completion list of the dialog's name field can be open when the dialog closes.
void WindowCommandsTest::completionListClosedBeforeCommandRuns() {
  NoDataRun run;
  QVector<QWidget*> popups;
  run.runner.onFileDialog = [&] {
    QFileDialog* dialog =
        run.runner.dialogs.size() == 1 ? run.window.OpenDialog1 : run.window.SaveDialog1;
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(name != nullptr && name->completer() != nullptr);
    name->completer()->popup()->show();
    popups << name->completer()->popup();
  };
  bool popupShownAtFirstStep = true;
  QMetaObject::invokeMethod(
      &run.window,
      [&] {
        popupShownAtFirstStep = std::any_of(popups.begin(), popups.end(),
                                            [](QWidget* popup) { return popup->isVisible(); });
      },
      Qt::QueuedConnection);
  run.window.Button4->click();
  QCOMPARE(popups.size(), 2);
  QVERIFY(!popupShownAtFirstStep);
}

void WindowCommandsTest::dialogsOfferLastChosenPath() {
  NoDataRun run;
  QVERIFY(QDir(run.folder.path()).mkdir("sub"));
  const QString sub = run.folder.filePath("sub");
  const QString other = sub + "/other.raw";
  QVERIFY(QFile::copy(run.input, other));
  run.window.Button4->click();
  QVERIFY(!run.runner.dialogs[0].offered.contains(run.input));

  // A second run, cancelled at its save dialog, is offered the earlier choices; the save dialog
  // opens in the folder of the input just picked, with the name saved last.
  run.runner.answers = {other, std::nullopt};
  run.window.Button4->click();
  QCOMPARE(run.runner.dialogs.size(), std::size_t{4});
  QCOMPARE(run.runner.dialogs[2].offered, QStringList{run.input});
  QCOMPARE(run.runner.dialogs[2].folder, run.folder.path());
  QCOMPARE(run.runner.dialogs[3].offered, QStringList{sub + "/out.raw"});
  QCOMPARE(run.runner.dialogs[3].folder, sub);

  // The name chosen last is offered next, also a typed name of a file that does not exist;
  // a cancelled dialog forgets nothing.
  const QString missing = run.folder.filePath("missing.raw");
  for (const std::optional<QString>& answer : {std::optional<QString>(), std::optional(missing)}) {
    run.runner.answers = {answer};
    run.window.Button4->click();
  }
  QCOMPARE(run.runner.dialogs[4].offered, QStringList{other});
  QCOMPARE(run.runner.dialogs[4].folder, sub);
  QCOMPARE(run.runner.dialogs[5].offered, QStringList{other});
  run.runner.answers = {};
  run.window.Button4->click();
  QCOMPARE(run.runner.dialogs.back().offered, QStringList{missing});
}

void WindowCommandsTest::gmlButtonsPassTheSeaCheckBox_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("tile");
  QTest::addColumn<QString>("tileRaster");
  QTest::newRow("GML10") << "Button1"
                         << "FG-GML-5339-45-dem10b-20161001.xml"
                         << "533945-ELEVARA";
  QTest::newRow("GML5") << "Button6"
                        << "FG-GML-5339-45-00-DEM5A-20161001.xml"
                        << "53394500-DEM5";
  QTest::newRow("GML1") << "Button10"
                        << "FG-GML-5339-45-00-DEM1A-20240101.xml"
                        << "53394500-DEM1";
}

// A checked box makes each GML command write sea cells as 0.0. Its tile raster tells: the run is
// interrupted as its mosaic phase starts, which spares the test a large mosaic.
void WindowCommandsTest::gmlButtonsPassTheSeaCheckBox() {
  QFETCH(QString, button);
  QFETCH(QString, tile);
  QFETCH(QString, tileRaster);
  QTemporaryDir folder;
  WriteFile(folder.filePath(tile),
            QByteArray::fromStdString(elevara::testing::MakeGml(
                {.values = {"海水面,-9999.", "データなし,-9999.", "地表面,5"}})));
  ScriptedRunner runner;
  TForm92 window{"Elevara", &runner};
  int tilePhaseMaximum = 0;
  bool interrupted = false;
  connect(window.ProgressBar1, &QProgressBar::valueChanged, [&] {
    if (tilePhaseMaximum == 0) tilePhaseMaximum = window.ProgressBar1->maximum();
    if (interrupted || window.ProgressBar1->maximum() == tilePhaseMaximum) return;
    interrupted = true;
    window.services().setInterruptRequested(true);
  });
  window.CheckBox1->setChecked(true);
  runner.answers = {folder.filePath(tile)};
  window.findChild<QPushButton*>(button)->click();
  QVERIFY(interrupted);
  QCOMPARE(runner.boxes.size(), std::size_t{1});  // what the interrupt left unwritten
  QCOMPARE(ReadFile(folder.filePath(tileRaster)).left(12), Bytes({0.0f, kNoData, 5.0f}));
}

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
