// The Qt side of the services: dialog filters and options, the boxes, the bar in 64-bit units.
#include <limits>

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "app/dialog_filter.h"
#include "app/message_boxes.h"
#include "app/qt_services.h"
#include "app/startup.h"
#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "tests/app/scripted_runner.h"

using elevara::app::BarRange;
using elevara::app::QtServices;
using elevara::app::testing::ScriptedRunner;

Q_DECLARE_METATYPE(std::int64_t)

namespace {

// The services over widgets of their own, without a window.
struct Fixture {
  QFileDialog openDialog;
  QFileDialog saveDialog;
  QProgressBar bar;
  ScriptedRunner runner;
  QtServices services{openDialog, saveDialog, bar, runner, "Elevara"};
};

QModelIndex RowNamed(const QTreeView& view, const QString& name) {
  const QAbstractItemModel& model = *view.model();
  for (int row = 0; row < model.rowCount(view.rootIndex()); ++row) {
    const QModelIndex index = model.index(row, 0, view.rootIndex());
    if (index.data().toString() == name) return index;
  }
  return {};
}

}  // namespace

class QtServicesTest : public QObject {
  Q_OBJECT

 private slots:
  // As the program does, so that the file dialogs leave no history in the user's settings.
  void initTestCase() { elevara::app::KeepNoSettings(); }
  void nameFilters_data();
  void nameFilters();
  void openDialog();
  void saveDialog();
  void cancelledDialog();
  void openDialogShowsTileNamesWhole();
  void firstFilterEntryShowsEveryInput_data();
  void firstFilterEntryShowsEveryInput();
  void boxes_data();
  void boxes();
  void barScale_data();
  void barScale();
  void barFollowsProgressContract();
  void burstOfStepsRedrawsRarelyButEndsFull();
  void barWithMoreStepsThanAnInt();
  void processMessagesHandlesPendingEvents();
};

void QtServicesTest::nameFilters_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("every file") << "RAWファイル (*.*) | *.*" << QStringList{"RAWファイル (*.*) (*)"};
  QTest::newRow("one extension") << "XMLファイル (*.xml) | *.xml"
                                 << QStringList{"XMLファイル (*.xml) (*.xml)"};
  QTest::newRow("no blanks") << "RAWファイル (*.raw)|*.raw"
                             << QStringList{"RAWファイル (*.raw) (*.raw)"};
  QTest::newRow("the GML commands' tiles and ZIP files")
      << QString::fromUtf8(elevara::gml_text::kOpenFilter)
      << QStringList{"XML・ZIPファイル (*.xml;*.zip) (*.xml *.zip)", "XMLファイル (*.xml) (*.xml)",
                     "ZIPファイル (*.zip) (*.zip)"};
  QTest::newRow("several pairs and patterns")
      << "Rasters | *.raw;*.bin | All | *.*" << QStringList{"Rasters (*.raw *.bin)", "All (*)"};
  QTest::newRow("pattern only") << "*.raw" << QStringList{"*.raw (*.raw)"};
  QTest::newRow("no description") << " | *.raw" << QStringList{"*.raw (*.raw)"};
  QTest::newRow("no pattern") << "Rasters | " << QStringList{"Rasters (*)"};
  QTest::newRow("empty") << "" << QStringList{};
}

void QtServicesTest::nameFilters() {
  QFETCH(QString, filter);
  QFETCH(QStringList, expected);
  QCOMPARE(elevara::app::QtNameFilters(filter.toStdString()), expected);
}

void QtServicesTest::openDialog() {
  Fixture fixture;
  const QString chosen = QStringLiteral("/tmp/標高/5339-ELEVARA");
  fixture.runner.answers = {chosen};
  const auto path = fixture.services.runOpenDialog("対象GMLファイル（１ファイル）を指定する",
                                                   "RAWファイル (*.*) | *.*");
  QVERIFY(path.has_value());
  QCOMPARE(QString::fromStdU16String(path->u16string()), chosen);

  const auto& seen = fixture.runner.dialogs.at(0);
  QCOMPARE(seen.title, QString::fromUtf8("対象GMLファイル（１ファイル）を指定する"));
  QCOMPARE(seen.acceptMode, QFileDialog::AcceptOpen);
  // A typed name of a file that does not exist is accepted.
  QCOMPARE(seen.fileMode, QFileDialog::AnyFile);
  QVERIFY(seen.options.testFlag(QFileDialog::DontUseNativeDialog));
  QCOMPARE(seen.filters, QStringList{"RAWファイル (*.*) (*)"});
  // The user reads the entry as the command wrote it.
  auto* types = fixture.openDialog.findChild<QComboBox*>("fileTypeCombo");
  QVERIFY(types != nullptr);
  QCOMPARE(types->itemText(0).trimmed(), QString::fromUtf8("RAWファイル (*.*)"));
}

void QtServicesTest::saveDialog() {
  Fixture fixture;
  fixture.runner.answers = {QStringLiteral("/tmp/out.raw")};
  const auto path = fixture.services.runSaveDialog("保存先ファイル名を指定する");
  QCOMPARE(path, std::optional(std::filesystem::path("/tmp/out.raw")));
  const auto& seen = fixture.runner.dialogs.at(0);
  QCOMPARE(seen.title, QString::fromUtf8("保存先ファイル名を指定する"));
  QCOMPARE(seen.acceptMode, QFileDialog::AcceptSave);
  QCOMPARE(seen.fileMode, QFileDialog::AnyFile);
  // Replaces without asking.
  QVERIFY(seen.options.testFlag(QFileDialog::DontConfirmOverwrite));
  QVERIFY(seen.options.testFlag(QFileDialog::DontUseNativeDialog));
  for (const QString& filter : seen.filters) QVERIFY2(filter.endsWith("(*)"), qPrintable(filter));
}

void QtServicesTest::cancelledDialog() {
  Fixture fixture;
  fixture.runner.answers = {std::nullopt};
  QCOMPARE(fixture.services.runOpenDialog("t", "RAWファイル (*.*) | *.*"), std::nullopt);
  QCOMPARE(fixture.services.runSaveDialog("t"), std::nullopt);
}

// The detail view shows a published tile's name, size, type and date unclipped, without a
// sideways scroll, and the dialog fits a screen of 1024 x 768.
void QtServicesTest::openDialogShowsTileNamesWhole() {
  Fixture fixture;
  const QString tile = QStringLiteral("FG-GML-3624-30-76-DEM5B-20170202.xml");
  fixture.runner.answers = {QStringLiteral(ELEVARA_SAMPLES "/") + tile};
  fixture.services.runOpenDialog("t", "XMLファイル (*.xml) | *.xml");
  fixture.runner.onFileDialog = [&] {
    QFileDialog& dialog = fixture.openDialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* view = dialog.findChild<QTreeView*>("treeView");
    QVERIFY(view != nullptr && view->isVisible());
    QModelIndex row;
    QTRY_VERIFY((row = RowNamed(*view, tile)).isValid());
    for (int column = 0; column < view->header()->count(); ++column) {
      const QModelIndex cell = row.siblingAtColumn(column);
      QVERIFY2(view->header()->sectionSize(column) >= view->sizeHintForIndex(cell).width(),
               qPrintable(cell.data().toString()));
    }
    QVERIFY(view->header()->length() <= view->viewport()->width());
    QVERIFY(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    dialog.hide();
  };
  // Opened again in the folder of the tile picked before.
  fixture.services.runOpenDialog("t", "XMLファイル (*.xml) | *.xml");
}

void QtServicesTest::firstFilterEntryShowsEveryInput_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QStringList>("entries");
  QTest::addColumn<QStringList>("shown");
  // The merge takes the GML5 conversion's mosaics, which have no extension, and the same with
  // ".raw"; nothing else a conversion leaves in the folder.
  QTest::newRow("merge") << QString::fromUtf8(elevara::dem5_text::kOpenFilter)
                         << QStringList{"362430-DEM5", "362431-DEM5.raw", "362430-DEM5.hd1",
                                        "3624-DEM5",   "36243098-DEM5",   "a.raw"}
                         << QStringList{"DEM5ファイル (??????-DEM5;??????-DEM5.raw)",
                                        "RAWファイル (*.raw)", "DEM5ファイル (??????-DEM5)"}
                         << QStringList{"362430-DEM5", "362431-DEM5.raw"};
  // The GML commands take a tile or the ZIP file it came in.
  QTest::newRow("GML") << QString::fromUtf8(elevara::gml_text::kOpenFilter)
                       << QStringList{"FG-GML-3624-30-76-DEM5B-20170202.xml",
                                      "FG-GML-3624-30-DEM5B.zip", "gml_name.txt", "362430-DEM5"}
                       << QStringList{"XML・ZIPファイル (*.xml;*.zip)", "XMLファイル (*.xml)",
                                      "ZIPファイル (*.zip)"}
                       << QStringList{"FG-GML-3624-30-76-DEM5B-20170202.xml",
                                      "FG-GML-3624-30-DEM5B.zip"};
}

// The first entry of an open dialog, the one it opens with, shows every file the command takes;
// the entries by kind follow.
void QtServicesTest::firstFilterEntryShowsEveryInput() {
  QFETCH(QString, filter);
  QFETCH(QStringList, files);
  QFETCH(QStringList, entries);
  QFETCH(QStringList, shown);
  QTemporaryDir folder;
  for (const QString& name : files) {
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  Fixture fixture;
  // Picked before, so the dialog opens in the folder.
  fixture.runner.answers = {folder.filePath(files.first())};
  fixture.services.runOpenDialog("t", filter.toStdString());
  QStringList seen, texts;
  fixture.runner.onFileDialog = [&] {
    QFileDialog& dialog = fixture.openDialog;
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; i < types->count(); ++i) texts << types->itemText(i).trimmed();
    dialog.show();
    auto* view = dialog.findChild<QTreeView*>("treeView");
    for (const QString& name : shown) QTRY_VERIFY(RowNamed(*view, name).isValid());
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
      seen << view->model()->index(row, 0, view->rootIndex()).data().toString();
    }
    dialog.hide();
  };
  fixture.services.runOpenDialog("t", filter.toStdString());
  QCOMPARE(texts, entries);
  seen.sort();
  shown.sort();
  QCOMPARE(seen, shown);
}

void QtServicesTest::boxes_data() {
  QTest::addColumn<bool>("error");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<int>("icon");
  // Line breaks and anything resembling markup reach the user unchanged.
  QTest::newRow("message") << false << "ファイル変換を終了しました\n<b>a.raw</b>"
                           << "ファイル変換を終了しました\n<b>a.raw</b>"
                           << int(QMessageBox::NoIcon);
  QTest::newRow("error") << true << "'abc' は整数ではありません"
                         << "'abc' は整数ではありません." << int(QMessageBox::Critical);
  QTest::newRow("error ending in a full stop") << true << "done."
                                               << "done." << int(QMessageBox::Critical);
  QTest::newRow("error without text") << true << ""
                                      << "" << int(QMessageBox::Critical);
}

void QtServicesTest::boxes() {
  QFETCH(bool, error);
  QFETCH(QString, message);
  QFETCH(QString, shown);
  QFETCH(int, icon);
  Fixture fixture;
  if (error) {
    elevara::app::ShowErrorBox(fixture.runner, "Elevara", message.toStdString());
  } else {
    fixture.services.showMessage(message.toStdString());
  }
  QCOMPARE(fixture.runner.boxes.size(), std::size_t{1});
  const auto& box = fixture.runner.boxes[0];
  QCOMPARE(box.text, shown);
  QCOMPARE(int(box.icon), icon);
  QCOMPARE(box.caption, QStringLiteral("Elevara"));
  QCOMPARE(box.buttons, QStringList{"OK"});
  QCOMPARE(box.format, Qt::PlainText);
}

void QtServicesTest::barScale_data() {
  QTest::addColumn<std::int64_t>("minimum");
  QTest::addColumn<std::int64_t>("maximum");
  QTest::addColumn<std::int64_t>("position");
  QTest::addColumn<QList<int>>("bar");
  constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
  QTest::newRow("rows") << std::int64_t{0} << std::int64_t{6000} << std::int64_t{2500}
                        << QList<int>{0, 6000, 2500};
  QTest::newRow("largest int") << std::int64_t{0} << kIntMax << kIntMax
                               << QList<int>{0, int(kIntMax), int(kIntMax)};
  QTest::newRow("one past") << std::int64_t{0} << kIntMax + 1 << kIntMax + 1
                            << QList<int>{0, int((kIntMax + 1) / 2), int((kIntMax + 1) / 2)};
  QTest::newRow("five billion") << std::int64_t{0} << std::int64_t{5'000'000'000}
                                << std::int64_t{2'500'000'000}
                                << QList<int>{0, 1'666'666'666, 833'333'333};
  // QProgressBar would turn into a busy indicator.
  QTest::newRow("empty range") << std::int64_t{0} << std::int64_t{0} << std::int64_t{0}
                               << QList<int>{0, 1, 0};
  QTest::newRow("past the end") << std::int64_t{0} << std::int64_t{10} << std::int64_t{11}
                                << QList<int>{0, 10, 10};
  QTest::newRow("before the start")
      << std::int64_t{0} << std::int64_t{10} << std::int64_t{-5} << QList<int>{0, 10, 0};
}

void QtServicesTest::barScale() {
  QFETCH(std::int64_t, minimum);
  QFETCH(std::int64_t, maximum);
  QFETCH(std::int64_t, position);
  QFETCH(QList<int>, bar);
  const BarRange range = elevara::app::ScaleForBar(minimum, maximum, position);
  QCOMPARE((QList<int>{range.minimum, range.maximum, range.value}), bar);

  const BarRange extreme = elevara::app::ScaleForBar(0, std::numeric_limits<std::int64_t>::max(),
                                                     std::numeric_limits<std::int64_t>::max());
  QVERIFY(extreme.maximum > 0);
  QCOMPARE(extreme.value, extreme.maximum);
}

void QtServicesTest::barFollowsProgressContract() {
  Fixture fixture;
  QCOMPARE(fixture.bar.maximum(), 100);
  QCOMPARE(fixture.bar.value(), 0);
  elevara::ServicesProgress progress(fixture.services);
  progress.startPhase(5);
  QCOMPARE(fixture.bar.maximum(), 5);
  for (int step = 1; step <= 5; ++step) {
    QTest::qWait(20);  // longer than the bar's redraw interval, so every step shows
    progress.step();
    QCOMPARE(fixture.bar.value(), step);
  }
  // A step too many leaves the bar full instead of wrapping it round to empty.
  progress.step();
  QCOMPARE(fixture.bar.value(), 5);
  QCOMPARE(fixture.services.progress().position(), 5);
  progress.reset();
  QCOMPARE(fixture.bar.value(), 0);
  QCOMPARE(fixture.bar.minimum(), 0);
  QCOMPARE(fixture.bar.maximum(), 5);
  QCOMPARE(fixture.services.progress().step(), 1);
}

void QtServicesTest::burstOfStepsRedrawsRarelyButEndsFull() {
  Fixture fixture;
  elevara::ServicesProgress progress(fixture.services);
  constexpr int kSteps = 100000;
  progress.startPhase(kSteps);
  int redraws = 0;
  QObject::connect(&fixture.bar, &QProgressBar::valueChanged, [&] { ++redraws; });
  for (int step = 0; step < kSteps; ++step) progress.step();
  QVERIFY2(redraws < kSteps / 10, qPrintable(QString::number(redraws)));
  QCOMPARE(fixture.bar.value(), kSteps);
}

void QtServicesTest::barWithMoreStepsThanAnInt() {
  Fixture fixture;
  elevara::ServicesProgress progress(fixture.services);
  const std::int64_t steps = 6'000'000'000;
  progress.startPhase(steps);
  fixture.services.setProgressPosition(steps / 2);
  QVERIFY(fixture.bar.maximum() > 0);
  QVERIFY(qAbs(fixture.bar.value() - fixture.bar.maximum() / 2) <= 1);
  fixture.services.setProgressPosition(steps - 1);
  progress.step();
  QCOMPARE(fixture.services.progress().position(), steps);
  QCOMPARE(fixture.bar.value(), fixture.bar.maximum());
}

void QtServicesTest::processMessagesHandlesPendingEvents() {
  Fixture fixture;
  int handled = 0;
  for (int i = 0; i < 3; ++i) {
    QMetaObject::invokeMethod(
        &fixture.bar, [&] { ++handled; }, Qt::QueuedConnection);
  }
  fixture.services.processMessages();
  QCOMPARE(handled, 3);
}

QTEST_MAIN(QtServicesTest)
#include "qt_services_test.moc"
